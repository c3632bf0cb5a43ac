#ifndef TRANSPORT_SERVER_H
#define TRANSPORT_SERVER_H

#include "logging/refusal_log.h"
#include "transport/connection_limits.h"
#include "transport/tls_connection.h"
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <chrono>
#include <cstddef>
#include <future>
#include <list>
#include <memory>
#include <string>
#include <vector>

// What the program fixes (port 9003, 30-second timeouts, certificate files in the current
// directory, the limits); tests pass other values so that they can run side by side and fast.
struct ServerSettings {
    unsigned short port = 9003;
    long timeoutSeconds = 30;
    std::string certificateChainFile = "server.crt";
    std::string privateKeyFile = "server.key";
    // Every local address instead of the loopback addresses 127.0.0.1 and ::1 only; other
    // machines may then call, but never other accounts of this one.
    bool listenOnAllAddresses = false;
    // Connections held at once; never more than half the descriptors the process may open.
    std::size_t maxConnections = 1000;
    // Bytes of request bodies held across all connections before their requests are whole.
    std::size_t maxBodyBytesHeld = 64 * 1024 * 1024;
    // How often a listening address that another program holds is tried again.
    long relistenSeconds = 60;
};

// The TLS listener: one event loop, one accept always pending on each listening address, the
// account check (a connection from another account of this computer is refused before its
// handshake), the server side of the handshake, then the connection goes to the derived class.
class Server {
public:
    explicit Server(const ServerSettings& settings = ServerSettings());
    virtual ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Accepts and serves until the event loop is stopped; blocks the calling thread.
    void start();
    // Stops the event loop once what is already queued on it has run, so that answers
    // handed to it are written; `start` returns soon after. Safe from any thread.
    void stop();
    // The port actually listened on (useful when the settings asked for port 0).
    unsigned short listeningPort() const;
    // The addresses and port listened on, IPv4 first.
    std::vector<boost::asio::ip::tcp::endpoint> listeningEndpoints() const;
    // Reads the certificate files again and serves them to the connections accepted from
    // now on; connections already open keep theirs. Throws, and goes on serving the pair it
    // had, when the files cannot be loaded or do not belong together. The swap itself runs
    // on the event loop: the future is ready once it has (every connection accepted after
    // that gets the new pair), and holds the failure when it failed. A swap that never runs
    // (the event loop has stopped) leaves it waiting. Safe from any thread.
    std::future<void> reloadCertificate();

protected:
    virtual void readRequest(Connection connection) = 0;
    // The connection starts a step (reading, writing) that must end within the configured
    // timeout; the connection is closed when it does not. The next step starts anew.
    void renewTimeout(const Connection& connection);
    // Writes the whole text under the timeout; the connection then closes as its last
    // reference goes (at once when the write fails).
    void writeAll(const Connection& connection, std::shared_ptr<const std::string> text,
                  std::size_t written = 0);
    // The connection is being answered; see ConnectionLimits.
    void answerStarted(const Connection& connection);
    // The connection's request is whole and waits for its answer, as long as that takes:
    // it is no longer closed to make room, nor for its time.
    void awaitAnswer(const Connection& connection);
    // Room for the rest of a request's body; false when the bodies held leave none.
    bool reserveBody(const Connection& connection, std::size_t bytes);
    // Logs a refusal collapsed with the others of `caller` (see RefusalLog).
    void logRefusal(const std::string& caller, const std::string& line);

    boost::asio::io_context ioContext;
    const ServerSettings settings;

private:
    using Acceptor = boost::asio::ip::tcp::acceptor;

    // Listens on both loopback addresses, or both "any" addresses; one that another program
    // holds is logged and tried again later. Throws when neither can be listened on.
    void listen();
    // False when another socket holds `endpoint`.
    bool listenOn(const boost::asio::ip::tcp::endpoint& endpoint);
    void relistenLater(const boost::asio::ip::tcp::endpoint& endpoint);
    void acceptConnection(Acceptor& acceptor);
    void onAccepted(Acceptor& acceptor, Connection connection,
                    const boost::system::error_code& error);
    void acceptAfterFailure(Acceptor& acceptor);
    // Hands the connection to the handshake, unless its other end belongs to another account
    // of this computer, or to another machine while only this one may call: then it is
    // refused. `spoken`: its first bytes have arrived; `accepted`: when it was accepted.
    void admitPeer(const Connection& connection, bool spoken,
                   std::chrono::system_clock::time_point accepted);
    void handshake(const Connection& connection);
    // Writes the refusals' counts as they fall due.
    void writeRefusalCounts();
    // Waits for the first connection to come due, unless a wait is on already: deadlines
    // only ever move later, so the wait never ends too late.
    void watchDeadlines();
    void runEventLoop();

    // One per listening address; a list, so that an acceptor never moves while an accept
    // on it is pending.
    std::list<Acceptor> acceptors;
    boost::asio::ssl::context sslContext;
    // Shared with every connection, which leaves the limits when it is freed, also when
    // that happens as the event loop is destroyed after the server.
    std::shared_ptr<ConnectionLimits> limits;
    // One timer for all connections' deadlines.
    boost::asio::steady_timer deadlineTimer;
    bool watchingDeadlines = false;
    RefusalLog refusals;
    boost::asio::steady_timer refusalTimer;
    bool countingRefusals = false;
};

#endif
