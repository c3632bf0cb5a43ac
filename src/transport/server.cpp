#include "transport/server.h"

#include <boost/log/trivial.hpp>
#include <exception>
#include <openssl/ssl.h>

namespace asio = boost::asio;

namespace {

// Called when a connection's timer fires. A failure is logged and must not reach the event
// loop. A peer that has already reset the connection leaves nothing to shut down; that is
// the peer's doing, not a failure worth a log line.
void closeTimedOut(TlsStream& connection) {
    boost::system::error_code error;
    connection.lowest_layer().shutdown(asio::ip::tcp::socket::shutdown_both, error);
    if (error && error != asio::error::not_connected) {
        BOOST_LOG_TRIVIAL(error) << "Shutting down a timed-out connection failed: "
                                 << error.message();
    }
    connection.lowest_layer().close(error);
    if (error) {
        BOOST_LOG_TRIVIAL(error) << "Closing a timed-out connection failed: " << error.message();
    }
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

// The handshake's last flight and the answer are small writes that follow one another before
// the client has acknowledged the first; Nagle's algorithm would hold the second back until
// it has. A socket that refuses the option (the peer already reset it) fails its handshake
// next, so the refusal itself needs no handling.
void sendWithoutDelay(TlsStream& connection) {
    boost::system::error_code ignored;
    connection.lowest_layer().set_option(asio::ip::tcp::no_delay(true), ignored);
}

} // namespace

Server::Server(const ServerSettings& settings)
    : settings(settings), endpoint(asio::ip::tcp::v4(), settings.port),
      acceptor(ioContext, endpoint, true), boundPort(acceptor.local_endpoint().port()),
      threadCount(1), sslContext(asio::ssl::context::tls_server), acceptRetryTimer(ioContext) {
    // Browsers and curl speak TLS 1.2 or 1.3; older versions have known weaknesses.
    sslContext.set_options(asio::ssl::context::no_compression | asio::ssl::context::no_sslv2 |
                           asio::ssl::context::no_sslv3 | asio::ssl::context::no_tlsv1 |
                           asio::ssl::context::no_tlsv1_1);
    resumeFromTicketsOnly(sslContext);
    sslContext.use_certificate_chain_file(settings.certificateChainFile);
    sslContext.use_private_key_file(settings.privateKeyFile, asio::ssl::context::pem);
}

Server::~Server() = default;

void Server::start() {
    acceptConnection();
    for (unsigned thread = 1; thread < threadCount; ++thread) {
        workerThreads.emplace_back([this] { runEventLoop(); });
    }
    runEventLoop();
    for (std::thread& worker : workerThreads) {
        worker.join();
    }
}

void Server::stop() {
    ioContext.stop();
}

unsigned short Server::listeningPort() const {
    return boundPort;
}

Server::Timer Server::setTimeout(Connection connection) {
    auto timer = std::make_shared<asio::deadline_timer>(ioContext);
    timer->expires_from_now(boost::posix_time::seconds(settings.timeoutSeconds));
    timer->async_wait([connection](const boost::system::error_code& error) {
        if (!error) {
            closeTimedOut(*connection);
        }
    });
    return timer;
}

void Server::acceptConnection() {
    auto connection = std::make_shared<TlsStream>(ioContext, sslContext);
    acceptor.async_accept(connection->lowest_layer(),
                          [this, connection](const boost::system::error_code& error) {
                              onAccepted(connection, error);
                          });
}

void Server::onAccepted(Connection connection, const boost::system::error_code& error) {
    if (error) {
        acceptAfterFailure();
        return;
    }
    acceptConnection();
    sendWithoutDelay(*connection);
    // Without this timer a client that connects and never speaks would hold its socket
    // for ever; enough of them exhaust the process's descriptors.
    Timer timer = setTimeout(connection);
    connection->async_handshake(asio::ssl::stream_base::server,
                                [this, connection, timer](const boost::system::error_code& error) {
                                    timer->cancel();
                                    if (!error) {
                                        readRequest(connection);
                                    }
                                });
}

void Server::acceptAfterFailure() {
    // A closed acceptor fails every accept at once; there is nothing left to accept.
    if (!acceptor.is_open()) {
        return;
    }
    // An accept that failed for want of descriptors fails again at once; waiting a moment
    // lets timed-out connections give theirs back instead of spinning the loop.
    acceptRetryTimer.expires_from_now(boost::posix_time::milliseconds(100));
    acceptRetryTimer.async_wait([this](const boost::system::error_code& error) {
        if (!error) {
            acceptConnection();
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
