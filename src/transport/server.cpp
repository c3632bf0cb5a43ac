#include "transport/server.h"

#include "platform/descriptor_limit.h"
#include "platform/peer_account.h"
#include <algorithm>
#include <boost/asio/ip/v6_only.hpp>
#include <boost/asio/post.hpp>
#include <boost/log/trivial.hpp>
#include <chrono>
#include <exception>
#include <openssl/ssl.h>
#include <optional>
#include <sstream>
#include <stdexcept>

namespace asio = boost::asio;
using asio::ip::tcp;

namespace {

#ifdef _WIN32
// Without it another program could bind the same port beside this one and take the web
// application's calls.
using ExclusiveAddressUse = asio::detail::socket_option::boolean<SOL_SOCKET, SO_EXCLUSIVEADDRUSE>;
#endif

void setAddressUse(tcp::acceptor& acceptor) {
#ifdef _WIN32
    acceptor.set_option(ExclusiveAddressUse(true));
#else
    // POSIX lets no other socket bind a listening port; reuse only lets a restarted
    // program bind while connections of the previous one are still closing.
    acceptor.set_option(tcp::acceptor::reuse_address(true));
#endif
}

// Each step that fails throws boost::system::system_error whose text begins with the
// step: "open", "set_option", "bind" or "listen".
void openListening(tcp::acceptor& acceptor, const tcp::endpoint& endpoint) {
    acceptor.open(endpoint.protocol());
    setAddressUse(acceptor);
    if (endpoint.address().is_v6()) {
        acceptor.set_option(asio::ip::v6_only(true));
    }
    acceptor.bind(endpoint);
    acceptor.listen(tcp::acceptor::max_listen_connections);
}

// A system without IPv6, or without the address on any interface, has nothing to listen
// on there; every other failure is one.
bool addressMissing(const boost::system::system_error& failure) {
    return failure.code() == boost::system::errc::address_family_not_supported ||
           failure.code() == boost::system::errc::address_not_available;
}

std::string describe(const std::vector<tcp::endpoint>& endpoints) {
    std::ostringstream text;
    const char* separator = "";
    for (const tcp::endpoint& endpoint : endpoints) {
        text << separator << endpoint;
        separator = " and ";
    }
    return text.str();
}

// Clients resume sessions from the tickets they keep, in TLS 1.2 and 1.3. The server stores
// no session itself (nginx's default as well): a stream of TLS 1.2 clients would otherwise
// fill a cache of up to 20480 sessions in memory. The mode still tells TLS 1.2 clients that
// sessions resume, as nginx does, rather than refusing session IDs outright.
void resumeFromTicketsOnly(asio::ssl::context& context) {
    SSL_CTX_set_session_cache_mode(context.native_handle(), SSL_SESS_CACHE_SERVER |
                                                                SSL_SESS_CACHE_NO_AUTO_CLEAR |
                                                                SSL_SESS_CACHE_NO_INTERNAL_STORE);
}

// Runs `then` at `next`, if there is a next time; `waiting` says whether a wait is on.
template <typename Then>
void waitUntil(asio::steady_timer& timer, std::optional<DeadlineClock::time_point> next,
               bool& waiting, Then then) {
    waiting = next.has_value();
    if (!waiting) {
        return;
    }
    timer.expires_at(*next);
    timer.async_wait([then](const boost::system::error_code& error) {
        // Only the server's end cancels the wait.
        if (!error) {
            then();
        }
    });
}

struct PeerRefusal {
    std::string caller;
    std::string line;
};

std::optional<PeerRefusal> refusalOf(const platform::PeerAccount& account,
                                     const tcp::endpoint& peer, bool otherMachinesAllowed) {
    std::ostringstream start;
    start << "Refused the connection from " << peer << " before its TLS handshake: ";
    switch (account.owner) {
    case platform::PeerAccount::Owner::ThisAccount:
        return std::nullopt;
    case platform::PeerAccount::Owner::NoLocalSocket:
        if (otherMachinesAllowed && !peer.address().is_loopback()) {
            return std::nullopt;
        }
        return PeerRefusal{"connections that no program of this computer holds",
                           start.str() + "no program of this computer holds its other end"};
    case platform::PeerAccount::Owner::OtherAccount:
        return PeerRefusal{"connections of the account " + account.name,
                           start.str() + "it belongs to the account " + account.name +
                               ", and only the account that runs this program may call it"};
    case platform::PeerAccount::Owner::Unknown:
        break;
    }
    return PeerRefusal{"connections of accounts that cannot be learnt",
                       start.str() + "its account cannot be learnt (" + account.name + ")"};
}

// The client as log lines name it: its address, and whose it is. Only clients that were let
// through are named so: those of this account, and other computers where they may call.
std::string callerOf(const platform::PeerAccount& account, const tcp::endpoint& peer) {
    return peer.address().to_string() + (account.owner == platform::PeerAccount::Owner::ThisAccount
                                             ? " (this account)"
                                             : " (another computer)");
}

// The pair as OpenSSL loads it for a context, checked before anything serves it.
std::shared_ptr<asio::ssl::context> loadedPair(const ServerSettings& settings) {
    auto loaded = std::make_shared<asio::ssl::context>(asio::ssl::context::tls_server);
    loaded->use_certificate_chain_file(settings.certificateChainFile);
    loaded->use_private_key_file(settings.privateKeyFile, asio::ssl::context::pem);
    if (SSL_CTX_check_private_key(loaded->native_handle()) != 1) {
        throw std::runtime_error("the key in " + settings.privateKeyFile +
                                 " does not belong to the certificate in " +
                                 settings.certificateChainFile);
    }
    return loaded;
}

} // namespace

Server::Server(const ServerSettings& settings)
    : settings(settings), sslContext(asio::ssl::context::tls_server),
      limits(std::make_shared<ConnectionLimits>(
          std::max<std::size_t>(
              1, std::min(settings.maxConnections, platform::raiseDescriptorLimit() / 2)),
          settings.maxBodyBytesHeld,
          [this](const std::string& cause, const std::string& line) { logRefusal(cause, line); })),
      deadlineTimer(ioContext), refusalTimer(ioContext) {
    listen();
    // Browsers and curl speak TLS 1.2 or 1.3; older versions have known weaknesses.
    sslContext.set_options(asio::ssl::context::no_compression | asio::ssl::context::no_sslv2 |
                           asio::ssl::context::no_sslv3 | asio::ssl::context::no_tlsv1 |
                           asio::ssl::context::no_tlsv1_1);
    resumeFromTicketsOnly(sslContext);
    // The certificate file holds the whole chain that is sent; without NO_AUTO_CHAIN OpenSSL
    // would try to build a longer one from its empty store in every full handshake, and find
    // nothing. RELEASE_BUFFERS gives a connection's 16 KiB record buffers back while it waits
    // for its client, so idle connections hold little memory (nginx sets both).
    SSL_CTX_set_mode(sslContext.native_handle(), SSL_MODE_NO_AUTO_CHAIN | SSL_MODE_RELEASE_BUFFERS);
    // One session ticket per TLS 1.3 handshake, not OpenSSL's two: a client resumes from the
    // latest ticket it holds, and each resumed connection brings it a new one. Only a client
    // opening two resumed connections at once after a full handshake used the second, which
    // cost every full handshake about 6 % of its work.
    SSL_CTX_set_num_tickets(sslContext.native_handle(), 1);
    sslContext.use_certificate_chain_file(settings.certificateChainFile);
    sslContext.use_private_key_file(settings.privateKeyFile, asio::ssl::context::pem);
}

Server::~Server() = default;

// The swap runs on the event loop, between two accepts, so no handshake sees half a pair; a
// new connection copies the context's pair when it begins.
std::future<void> Server::reloadCertificate() {
    const std::shared_ptr<asio::ssl::context> loaded = loadedPair(settings);
    auto swapped = std::make_shared<std::promise<void>>();
    asio::post(ioContext, [this, loaded, swapped] {
        SSL_CTX* from = loaded->native_handle();
        SSL_CTX* to = sslContext.native_handle();
        STACK_OF(X509)* chain = nullptr;
        SSL_CTX_get0_chain_certs(from, &chain);
        if (SSL_CTX_use_certificate(to, SSL_CTX_get0_certificate(from)) != 1 ||
            SSL_CTX_use_PrivateKey(to, SSL_CTX_get0_privatekey(from)) != 1 ||
            SSL_CTX_set1_chain(to, chain) != 1) {
            swapped->set_exception(std::make_exception_ptr(
                std::runtime_error("the server could not switch to the renewed pair")));
            return;
        }
        swapped->set_value();
    });
    return swapped->get_future();
}

// IPv4 first: its port, chosen by the system when the settings say 0, is the one IPv6
// listens on too. A browser may try "localhost" as ::1 first, so IPv6 is listened on
// wherever the system has it. Another account may take either address first; the program
// then serves on the one it has rather than not at all.
void Server::listen() {
    const bool everywhere = settings.listenOnAllAddresses;
    std::vector<tcp::endpoint> held;
    const tcp::endpoint v4(
        everywhere ? asio::ip::address_v4::any() : asio::ip::address_v4::loopback(), settings.port);
    if (!listenOn(v4)) {
        held.push_back(v4);
    }
    const tcp::endpoint v6(everywhere ? asio::ip::address_v6::any()
                                      : asio::ip::address_v6::loopback(),
                           acceptors.empty() ? settings.port : listeningPort());
    try {
        if (!listenOn(v6)) {
            held.push_back(v6);
        }
    } catch (const boost::system::system_error& failure) {
        if (!addressMissing(failure)) {
            throw;
        }
        // Without IPv6 no browser reaches this machine over it either; IPv4 serves alone.
    }
    if (acceptors.empty()) {
        throw boost::system::system_error(make_error_code(boost::system::errc::address_in_use),
                                          "bind");
    }
    for (const tcp::endpoint& endpoint : held) {
        const std::string account = platform::listenerAccount(*endpoint.data());
        BOOST_LOG_TRIVIAL(error) << "Port " << endpoint.port() << " of " << endpoint.address()
                                 << " is held by "
                                 << (account.empty() ? "another program" : "the account " + account)
                                 << ": serving on " << describe(listeningEndpoints())
                                 << " alone, and trying " << endpoint << " again every "
                                 << settings.relistenSeconds << " seconds";
        relistenLater(endpoint);
    }
    if (everywhere) {
        BOOST_LOG_TRIVIAL(info) << "Listening on every address (" << describe(listeningEndpoints())
                                << "): other machines can reach this program, as "
                                   "\"listenOnAllAddresses\" in access.json asks";
    }
}

bool Server::listenOn(const tcp::endpoint& endpoint) {
    Acceptor acceptor(ioContext);
    try {
        openListening(acceptor, endpoint);
    } catch (const boost::system::system_error& failure) {
        if (failure.code() == boost::system::errc::address_in_use) {
            return false;
        }
        throw;
    }
    acceptors.emplace(endpoint.address().is_v4() ? acceptors.begin() : acceptors.end(),
                      std::move(acceptor));
    return true;
}

void Server::relistenLater(const tcp::endpoint& endpoint) {
    auto timer = std::make_shared<asio::steady_timer>(ioContext);
    timer->expires_after(std::chrono::seconds(settings.relistenSeconds));
    timer->async_wait([this, endpoint, timer](const boost::system::error_code& error) {
        if (error) {
            return;
        }
        bool listening = false;
        try {
            listening = listenOn(endpoint);
        } catch (const boost::system::system_error&) {
            // Whatever keeps the address now may pass; it is tried again as a held one is.
        }
        if (!listening) {
            relistenLater(endpoint);
            return;
        }
        acceptConnection(endpoint.address().is_v4() ? acceptors.front() : acceptors.back());
        BOOST_LOG_TRIVIAL(info) << "Listening on " << endpoint << " too, now that it is free";
    });
}

void Server::start() {
    for (Acceptor& acceptor : acceptors) {
        acceptConnection(acceptor);
    }
    runEventLoop();
    refusals.writeAll();
}

void Server::stop() {
    asio::post(ioContext, [this] { ioContext.stop(); });
}

unsigned short Server::listeningPort() const {
    return acceptors.front().local_endpoint().port();
}

std::vector<tcp::endpoint> Server::listeningEndpoints() const {
    std::vector<tcp::endpoint> endpoints;
    for (const Acceptor& acceptor : acceptors) {
        endpoints.push_back(acceptor.local_endpoint());
    }
    return endpoints;
}

void Server::renewTimeout(const Connection& connection) {
    limits->renewDeadline(*connection,
                          DeadlineClock::now() + std::chrono::seconds(settings.timeoutSeconds));
    if (!watchingDeadlines) {
        watchDeadlines();
    }
}

void Server::watchDeadlines() {
    waitUntil(deadlineTimer, limits->nextDeadline(), watchingDeadlines, [this] {
        limits->closeOverdue(DeadlineClock::now());
        watchDeadlines();
    });
}

void Server::writeAll(const Connection& connection, std::shared_ptr<const std::string> text,
                      std::size_t written) {
    if (written == 0) {
        renewTimeout(connection);
    }
    boost::system::error_code error;
    while (written < text->size() && !error) {
        written += connection->writeSome(asio::buffer(*text) + written, error);
    }
    if (error == asio::error::would_block) {
        connection->whenReady(
            [this, connection, text, written](const boost::system::error_code& error) {
                if (!error) {
                    writeAll(connection, text, written);
                }
            });
    }
}

void Server::answerStarted(const Connection& connection) {
    limits->answerStarted(*connection);
}

void Server::awaitAnswer(const Connection& connection) {
    limits->answerStarted(*connection);
    limits->clearDeadline(*connection);
}

bool Server::reserveBody(const Connection& connection, std::size_t bytes) {
    return limits->reserveBody(*connection, bytes);
}

void Server::logRefusal(const std::string& caller, const std::string& line) {
    refusals.refuse(caller, line, RefusalLog::Clock::now());
    if (!countingRefusals) {
        writeRefusalCounts();
    }
}

void Server::writeRefusalCounts() {
    waitUntil(refusalTimer, refusals.writeDue(RefusalLog::Clock::now()), countingRefusals,
              [this] { writeRefusalCounts(); });
}

void Server::acceptConnection(Acceptor& acceptor) {
    auto connection =
        std::make_shared<TlsConnection>(ioContext, sslContext.native_handle(), limits);
    acceptor.async_accept(connection->socket(),
                          [this, &acceptor, connection](const boost::system::error_code& error) {
                              onAccepted(acceptor, connection, error);
                          });
}

void Server::onAccepted(Acceptor& acceptor, Connection connection,
                        const boost::system::error_code& error) {
    if (error) {
        acceptAfterFailure(acceptor);
        return;
    }
    acceptConnection(acceptor);
    if (!limits->admit(*connection)) {
        connection->close("a connection beyond the limit");
        return;
    }
    boost::system::error_code failure;
    if (!connection->begin(failure)) {
        BOOST_LOG_TRIVIAL(error) << "Setting up TLS on a connection failed: " << failure.message();
        return;
    }
    // Without a deadline a client that connects and never speaks would hold its socket for
    // ever; enough of them exhaust the process's descriptors.
    renewTimeout(connection);
    admitPeer(connection, false, std::chrono::system_clock::now());
}

void Server::admitPeer(const Connection& connection, bool spoken,
                       std::chrono::system_clock::time_point accepted) {
    boost::system::error_code localFailure;
    boost::system::error_code peerFailure;
    const tcp::endpoint local = connection->socket().local_endpoint(localFailure);
    const tcp::endpoint peer = connection->socket().remote_endpoint(peerFailure);
    // A peer that has already reset the connection leaves nothing to serve or refuse.
    if (localFailure || peerFailure) {
        return;
    }
    connection->localAddress = local.address();
    const platform::PeerAccount account =
        platform::peerAccount(*local.data(), *peer.data(), accepted);
    // Some systems learn a socket's owner only once it is used (under Wine, the server
    // process holds a socket until its program first sends on it): an owner not known yet
    // is looked up again when the first bytes are there, and must have been there at accept.
    // A client that leaves without a word by then is neither served nor refused: the system
    // has forgotten its socket, and the log would blame an account it cannot name.
    if (account.owner == platform::PeerAccount::Owner::Unknown && !spoken) {
        connection->whenReady([this, connection, accepted](const boost::system::error_code& error) {
            if (!error && !connection->leftWithoutAWord()) {
                admitPeer(connection, true, accepted);
            }
        });
        return;
    }
    const std::optional<PeerRefusal> refusal =
        refusalOf(account, peer, settings.listenOnAllAddresses);
    if (!refusal) {
        connection->caller = callerOf(account, peer);
        handshake(connection);
        return;
    }
    logRefusal(refusal->caller, refusal->line);
    connection->whenReady([connection](const boost::system::error_code& error) {
        if (!error) {
            connection->denyAccess();
        }
    });
}

void Server::handshake(const Connection& connection) {
    boost::system::error_code error;
    if (connection->handshake(error)) {
        readRequest(connection);
    } else if (error == asio::error::would_block) {
        connection->whenReady([this, connection](const boost::system::error_code& error) {
            if (!error) {
                handshake(connection);
            }
        });
    } else if (connection->heardFrom()) {
        // A browser that does not trust the certificate ends here, as does a page that
        // makes every handshake fail: collapsed, so that neither fills the log.
        logRefusal("TLS handshakes of " + connection->caller + " that failed: " + error.message(),
                   "The TLS handshake with " + connection->caller + " failed: " + error.message());
    }
}

void Server::acceptAfterFailure(Acceptor& acceptor) {
    // A closed acceptor fails every accept at once; there is nothing left to accept.
    if (!acceptor.is_open()) {
        return;
    }
    // An accept that failed for want of descriptors fails again at once; waiting a moment
    // lets timed-out connections give theirs back instead of spinning the loop.
    auto retry = std::make_shared<asio::steady_timer>(ioContext);
    retry->expires_after(std::chrono::milliseconds(100));
    retry->async_wait([this, &acceptor, retry](const boost::system::error_code& error) {
        if (!error) {
            acceptConnection(acceptor);
        }
    });
}

void Server::runEventLoop() {
    // Request handling answers every exception itself; whatever still escapes a completion
    // handler is logged, and the loop goes on serving the other connections.
    for (;;) {
        try {
            ioContext.run();
            return;
        } catch (const std::exception& failure) {
            BOOST_LOG_TRIVIAL(error) << "Server loop exception: " << failure.what();
        } catch (...) {
            BOOST_LOG_TRIVIAL(error) << "Server loop exception: unknown";
        }
    }
}
