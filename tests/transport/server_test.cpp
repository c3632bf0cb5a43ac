#include "support/log_capture.h"
#include "support/server_thread.h"
#include "support/temporary_folder.h"
#include "support/test_certificate.h"
#include "support/tls_client.h"
#include "transport/server.h"
#include <algorithm>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/write.hpp>
#include <boost/system/system_error.hpp>
#include <future>
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>
#ifndef _WIN32
#include <cstdio>
#include <cstdlib>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

// Writes a fixed text on each connection, except that it throws out of the handshake's
// completion handler for the connections it is told to refuse.
class GreetingServer : public Server {
public:
    using Server::Server;

    int refusals = 0;
    bool refuseWithUnknown = false;
    std::string greeting = "HTTP/1.1 200 Hello\r\n\r\n";
    // When not 0, the size of each connection's socket send buffer.
    int sendBufferBytes = 0;

protected:
    void readRequest(Connection connection) override {
        if (refusals > 0) {
            --refusals;
            if (refuseWithUnknown) {
                throw 42;
            }
            throw std::runtime_error("connection refused by the test");
        }
        if (sendBufferBytes > 0) {
            connection->socket().set_option(
                boost::asio::socket_base::send_buffer_size(sendBufferBytes));
        }
        writeAll(connection, std::make_shared<const std::string>(greeting));
    }
};

std::string constructionFailure(const ServerSettings& settings) {
    try {
        GreetingServer server(settings);
    } catch (const boost::system::system_error& failure) {
        return failure.what();
    }
    return "";
}

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// Whether this system can listen on ::1 at all.
bool hasIpv6Loopback() {
    boost::asio::io_context io;
    boost::asio::ip::tcp::acceptor acceptor(io);
    boost::system::error_code error;
    acceptor.open(boost::asio::ip::tcp::v6(), error);
    if (!error) {
        acceptor.bind({boost::asio::ip::address_v6::loopback(), 0}, error);
    }
    return !error;
}

std::string addresses(const Server& server) {
    std::string text;
    for (const boost::asio::ip::tcp::endpoint& endpoint : server.listeningEndpoints()) {
        text += endpoint.address().to_string() + " ";
    }
    return text;
}

// Whether a line starts with `start` and holds `part`.
bool logged(const LogCapture& log, const std::string& start, const std::string& part) {
    const std::vector<std::string> lines = log.lines();
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.rfind(start, 0) == 0 && line.find(part) != std::string::npos;
    });
}

// Waits up to a minute for `condition`; whether it came.
template <typename Condition> bool eventually(Condition condition) {
    for (int wait = 0; wait < 600 && !condition(); ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return condition();
}

#ifndef _WIN32
// A second account of this computer, made for the test with useradd (which needs root) and
// removed after it; one left by a test that was killed is used again.
class SecondAccount {
public:
    SecondAccount() {
        const int status = ::geteuid() != 0 ? -1
                                            : std::system(("useradd --no-create-home --shell "
                                                           "/usr/sbin/nologin " +
                                                           name + " >/dev/null 2>&1")
                                                              .c_str());
        created = status == 0 || (WIFEXITED(status) && WEXITSTATUS(status) == alreadyThere);
    }
    ~SecondAccount() {
        if (created) {
            std::system(("userdel " + name + " >/dev/null 2>&1").c_str());
        }
    }

    // What curl run by the account prints when it asks `port` for a page.
    std::string curl(unsigned short port) const {
        const std::string command = "runuser -u " + name +
                                    " -- curl --silent --show-error --insecure --max-time 60 "
                                    "https://127.0.0.1:" +
                                    std::to_string(port) + "/ 2>&1";
        FILE* output = ::popen(command.c_str(), "r");
        std::string text;
        for (int c; output != nullptr && (c = std::fgetc(output)) != EOF;) {
            text.push_back(static_cast<char>(c));
        }
        if (output != nullptr) {
            ::pclose(output);
        }
        return text;
    }

    const std::string name = "fpp-second-account";
    bool created = false;

private:
    static constexpr int alreadyThere = 9;
};
#endif

} // namespace

TEST(ServerConstruction, NamesTheFailingStep) {
    ServerSettings missingCertificate = testServerSettings();
    missingCertificate.certificateChainFile = "no-such-file.crt";
    EXPECT_PRED2(startsWith, constructionFailure(missingCertificate), "use_certificate_chain_file");

    ServerSettings missingKey = testServerSettings();
    missingKey.privateKeyFile = "no-such-file.key";
    EXPECT_PRED2(startsWith, constructionFailure(missingKey), "use_private_key_file");

    ServerSettings certificateAsKey = testServerSettings();
    certificateAsKey.privateKeyFile = testCertificateFile();
    EXPECT_PRED2(startsWith, constructionFailure(certificateAsKey), "use_private_key_file");
}

TEST(ServerConstruction, PortAlreadyListenedOnFailsAtBind) {
    GreetingServer first(testServerSettings());
    ServerSettings samePort = testServerSettings();
    samePort.port = first.listeningPort();
    EXPECT_PRED2(startsWith, constructionFailure(samePort), "bind");
}

// On Windows a socket that asks for address reuse could otherwise bind beside the listener
// and take its calls.
TEST(ServerConstruction, NoOtherSocketCanBindTheListeningAddresses) {
    GreetingServer server(testServerSettings());
    for (const boost::asio::ip::tcp::endpoint& endpoint : server.listeningEndpoints()) {
        boost::asio::io_context io;
        boost::asio::ip::tcp::acceptor other(io, endpoint.protocol());
        other.set_option(boost::asio::ip::tcp::acceptor::reuse_address(true));
        boost::system::error_code error;
        other.bind(endpoint, error);
        EXPECT_TRUE(error) << endpoint;
    }
}

TEST(ServerConstruction, ListensOnTheLoopbackAddressesOnlyByDefault) {
    GreetingServer server(testServerSettings());
    const bool ipv6 = hasIpv6Loopback();
    EXPECT_EQ(addresses(server), ipv6 ? "127.0.0.1 ::1 " : "127.0.0.1 ");
    ServerThread running(server);
    EXPECT_EQ(exchange(running.port(), "").reason, "Hello");
    if (ipv6) {
        EXPECT_TRUE(acceptsConnection(boost::asio::ip::address_v6::loopback(), running.port()));
    }
}

// Another account may bind one of the loopback addresses first: the program serves on the
// other, says so and takes the first when it is free.
TEST(ServerConstruction, ServesOnTheAddressItHasWhileTheOtherIsHeld) {
    if (!hasIpv6Loopback()) {
        GTEST_SKIP() << "the system has no IPv6 loopback address to serve on instead";
    }
    for (const boost::asio::ip::address& taken :
         {boost::asio::ip::address(boost::asio::ip::address_v4::loopback()),
          boost::asio::ip::address(boost::asio::ip::address_v6::loopback())}) {
        SCOPED_TRACE(taken.to_string());
        LogCapture log;
        boost::asio::io_context io;
        auto holder = std::make_unique<boost::asio::ip::tcp::acceptor>(
            io, boost::asio::ip::tcp::endpoint(taken, 0));
        ServerSettings settings = testServerSettings();
        settings.port = holder->local_endpoint().port();
        settings.relistenSeconds = 1;
        GreetingServer server(settings);
        ServerThread running(server);
        const std::string port = std::to_string(settings.port);
        const std::string held = (taken.is_v4() ? "127.0.0.1:" : "[::1]:") + port;
        const std::string serving = (taken.is_v4() ? "[::1]:" : "127.0.0.1:") + port;
#ifdef _WIN32
        const std::string account;
#else
        const std::string account = "the account " + std::string(::getpwuid(::geteuid())->pw_name);
#endif
        EXPECT_TRUE(logged(
            log, "error : Port " + port + " of " + taken.to_string() + " is held by " + account,
            ": serving on " + serving + " alone, and trying " + held + " again every 1 seconds"));
        holder.reset();
        EXPECT_TRUE(eventually([&] {
            return log.contains("info : Listening on " + held + " too, now that it is free");
        }));
        EXPECT_TRUE(acceptsConnection(taken, settings.port));
        EXPECT_EQ(exchange(running.port(), "").reason, "Hello");
    }
}

TEST(ServerConstruction, ListensOnEveryAddressOnlyWhenAskedAndLogsIt) {
    LogCapture log;
    ServerSettings everywhere = testServerSettings();
    everywhere.listenOnAllAddresses = true;
    GreetingServer server(everywhere);
    const std::string port = std::to_string(server.listeningPort());
    if (hasIpv6Loopback()) {
        EXPECT_EQ(addresses(server), "0.0.0.0 :: ");
        EXPECT_TRUE(log.contains("info : Listening on every address (0.0.0.0:" + port +
                                 " and [::]:" + port +
                                 "): other machines can reach this program, as "
                                 "\"listenOnAllAddresses\" in access.json asks"));
    } else {
        EXPECT_EQ(addresses(server), "0.0.0.0 ");
    }
}

TEST(Server, CompletesHandshakesOfTls12And13) {
    GreetingServer server(testServerSettings());
    ServerThread running(server);
    for (TlsVersion version : {TlsVersion::Only12, TlsVersion::Only13}) {
        TlsClient client(running.port(), version);
        EXPECT_EQ(client.receive().reason, "Hello");
    }
}

TEST(Server, ResumesSessionsFromTicketsInTls12And13) {
    GreetingServer server(testServerSettings());
    ServerThread running(server);
    for (TlsVersion version : {TlsVersion::Only12, TlsVersion::Only13}) {
        TlsClient first(running.port(), version);
        first.receive();
        EXPECT_FALSE(first.resumed());
        TlsClient second(running.port(), version, first.session());
        EXPECT_EQ(second.receive().reason, "Hello");
        EXPECT_TRUE(second.resumed());
    }
}

// The answer is far larger than the socket takes at once: every byte still arrives, in
// order, though most writes must wait until the client has read.
TEST(Server, AnswerLargerThanTheSocketTakesArrivesWhole) {
    GreetingServer server(testServerSettings());
    server.sendBufferBytes = 4096;
    std::string body;
    for (int line = 0; body.size() < 1024 * 1024; ++line) {
        body += std::to_string(line) + "\n";
    }
    server.greeting += body;
    ServerThread running(server);
    const HttpAnswer answer = TlsClient(running.port()).receive();
    EXPECT_EQ(answer.reason, "Hello");
    EXPECT_TRUE(answer.body == body) << answer.body.size() << " of " << body.size() << " bytes";
}

// Its failed handshake is logged; a client that leaves without a word failed nothing.
TEST(Server, PlainHttpIsClosedWithoutAnswerAndTheNextClientIsServed) {
    LogCapture log;
    GreetingServer server(testServerSettings());
    ServerThread running(server);
    boost::asio::io_context io;
    boost::asio::ip::tcp::socket silent(io);
    silent.connect({boost::asio::ip::address_v4::loopback(), running.port()});
    EXPECT_EQ(exchange(running.port(), "").reason, "Hello");
    silent.close();
    PlainExchange plain = exchangePlain(running.port(), "GET / HTTP/1.1\r\n\r\n");
    EXPECT_TRUE(plain.closedByServer);
    EXPECT_EQ(plain.received.find("HTTP/"), std::string::npos) << plain.received;
    EXPECT_EQ(exchange(running.port(), "").reason, "Hello");
    EXPECT_EQ(log.lines(), std::vector<std::string>{"error : The TLS handshake with 127.0.0.1 "
                                                    "(this account) failed: http request"});
}

// A renewed pair is served to every connection accepted once the server confirms the switch;
// a pair whose parts do not belong together is refused at once, and the old one served on.
TEST(Server, ReloadedPairIsServedOnceConfirmedAndABrokenOneIsRefused) {
    namespace fs = boost::filesystem;
    const struct {
        std::string key;
        bool switches;
    } cases[] = {{otherKeyFile(), true}, {testKeyFile(), false}};
    for (const auto& test : cases) {
        TemporaryFolder folder;
        ServerSettings settings = testServerSettings();
        settings.certificateChainFile = (folder.path() / "server.crt").string();
        settings.privateKeyFile = (folder.path() / "server.key").string();
        fs::copy_file(testCertificateFile(), settings.certificateChainFile);
        fs::copy_file(testKeyFile(), settings.privateKeyFile);
        GreetingServer server(settings);
        ServerThread running(server);
        fs::copy_file(otherCertificateFile(), settings.certificateChainFile,
                      fs::copy_options::overwrite_existing);
        fs::copy_file(test.key, settings.privateKeyFile, fs::copy_options::overwrite_existing);
        if (test.switches) {
            server.reloadCertificate().get();
        } else {
            EXPECT_THROW(server.reloadCertificate(), std::runtime_error);
        }
        TlsClient client(running.port(), TlsVersion::Any, nullptr,
                         test.switches ? otherCertificateFile() : testCertificateFile());
        EXPECT_EQ(client.receive().reason, "Hello");
    }
}

TEST(Server, SilentClientIsClosedAfterTheTimeoutWhileOthersAreServed) {
    GreetingServer server(testServerSettings(1));
    ServerThread running(server);
    std::future<PlainExchange> silent =
        std::async(std::launch::async, exchangePlain, running.port(), "");
    EXPECT_EQ(exchange(running.port(), "").reason, "Hello");
    const PlainExchange closed = silent.get();
    EXPECT_TRUE(closed.closedByServer);
    EXPECT_EQ(closed.received, "");
}

TEST(Server, ExceptionEscapingAHandlerIsLoggedAndServingGoesOn) {
    LogCapture log;
    GreetingServer server(testServerSettings());
    server.refusals = 1;
    ServerThread running(server);
    EXPECT_FALSE(exchange(running.port(), "").answered);
    EXPECT_EQ(exchange(running.port(), "").reason, "Hello");
    EXPECT_TRUE(log.contains("error : Server loop exception: connection refused by the test"));
}

TEST(Server, UnknownExceptionEscapingAHandlerIsLoggedToo) {
    LogCapture log;
    GreetingServer server(testServerSettings());
    server.refusals = 1;
    server.refuseWithUnknown = true;
    ServerThread running(server);
    EXPECT_FALSE(exchange(running.port(), "").answered);
    EXPECT_EQ(exchange(running.port(), "").reason, "Hello");
    EXPECT_TRUE(log.contains("error : Server loop exception: unknown"));
}

#ifndef _WIN32
// The kernel reports a socket whose program has closed it with the owner 0: that is no word
// of root's. The connection waits in the backlog until the server starts accepting.
TEST(Server, ConnectionClosedBeforeItsCheckIsRefusedNotTakenForRoot) {
    LogCapture log;
    GreetingServer server(testServerSettings());
    {
        boost::asio::io_context io;
        boost::asio::ip::tcp::socket client(io);
        client.connect({boost::asio::ip::address_v4::loopback(), server.listeningPort()});
        boost::asio::write(client, boost::asio::buffer("\x16\x03\x01", 3));
    }
    ServerThread running(server);
    EXPECT_TRUE(eventually([&] {
        return logged(log, "error : Refused the connection from 127.0.0.1:",
                      " before its TLS handshake: its account cannot be learnt (the other end "
                      "closed before it could be checked)");
    }));
    EXPECT_EQ(exchange(running.port(), "").reason, "Hello");
}

// On a shared workstation or a terminal server every account's programs reach the loopback
// port; listening on every address admits other machines, never other accounts.
TEST(Server, ConnectionsOfAnotherAccountAreRefusedBeforeTheHandshake) {
    const SecondAccount other;
    if (!other.created) {
        GTEST_SKIP() << "a second account is made with useradd, which needs root";
    }
    for (const bool everywhere : {false, true}) {
        LogCapture log;
        ServerSettings settings = testServerSettings();
        settings.listenOnAllAddresses = everywhere;
        GreetingServer server(settings);
        ServerThread running(server);
        EXPECT_NE(other.curl(running.port()).find("alert access denied"), std::string::npos);
        EXPECT_TRUE(
            logged(log, "error : Refused the connection from 127.0.0.1:",
                   " before its TLS handshake: it belongs to the account " + other.name + ","));
        EXPECT_EQ(exchange(running.port(), "").reason, "Hello");
    }
}
#endif
