#ifndef TRANSPORT_SERVER_H
#define TRANSPORT_SERVER_H

#include <boost/asio/deadline_timer.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/asio/ssl/stream.hpp>
#include <memory>
#include <string>
#include <thread>
#include <vector>

// What the program fixes (port 9003, 30-second timeouts, certificate files in the current
// directory); tests pass other values so that they can run side by side and fast.
struct ServerSettings {
    unsigned short port = 9003;
    long timeoutSeconds = 30;
    std::string certificateChainFile = "server.crt";
    std::string privateKeyFile = "server.key";
};

using TlsStream = boost::asio::ssl::stream<boost::asio::ip::tcp::socket>;
using Connection = std::shared_ptr<TlsStream>;

// The TLS listener: one event loop, one accept always pending, the server side of the
// handshake, then the connection goes to the derived class.
class Server {
public:
    explicit Server(const ServerSettings& settings = ServerSettings());
    virtual ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Accepts and serves until the event loop is stopped; blocks the calling thread.
    void start();
    // Stops the event loop; `start` returns soon after. Safe from any thread.
    void stop();
    // The port actually listened on (useful when the settings asked for port 0).
    unsigned short listeningPort() const;

    // The thread that runs `start`, handed over by the application shell.
    std::thread* serverThread = nullptr;

protected:
    using Timer = std::shared_ptr<boost::asio::deadline_timer>;

    virtual void readRequest(Connection connection) = 0;
    // A timer that closes the connection when the configured timeout passes; cancel it
    // when the guarded step completes.
    Timer setTimeout(Connection connection);

    boost::asio::io_context ioContext;
    const ServerSettings settings;

private:
    void acceptConnection();
    void onAccepted(Connection connection, const boost::system::error_code& error);
    void acceptAfterFailure();
    void runEventLoop();

    boost::asio::ip::tcp::endpoint endpoint;
    boost::asio::ip::tcp::acceptor acceptor;
    unsigned short boundPort;
    unsigned threadCount;
    std::vector<std::thread> workerThreads;
    boost::asio::ssl::context sslContext;
    boost::asio::deadline_timer acceptRetryTimer;
};

#endif
