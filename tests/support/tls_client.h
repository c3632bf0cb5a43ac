// A real TLS client for end-to-end tests against a server that runs with the test
// certificate (see test_certificate.h): it connects to 127.0.0.1:PORT, trusts only that
// certificate, sends raw request text and reads until the server closes the connection.
//
//     HttpAnswer answer = exchange(port, "GET /config/get HTTP/1.1\r\n\r\n");
//     EXPECT_EQ(answer.status, 200);
//     EXPECT_EQ(answer.header("Connection"), "close");
//
// Every step waits at most `clientPatience`; that bound only keeps a broken server from
// hanging the test, it is not a speed requirement.
#ifndef SUPPORT_TLS_CLIENT_H
#define SUPPORT_TLS_CLIENT_H

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/asio/ssl/stream.hpp>
#include <chrono>
#include <map>
#include <memory>
#include <string>

constexpr std::chrono::seconds clientPatience{60};

// What came back on one connection.
struct HttpAnswer {
    bool hasHeader(const std::string& name) const;
    // The value of a header; empty when it is absent.
    std::string header(const std::string& name) const;

    bool answered = false; // a status line arrived
    std::string raw;       // every byte received
    std::string httpVersion;
    int status = 0;
    std::string reason;
    std::map<std::string, std::string> headers; // names as sent; a repeated name keeps the last
    std::string body;
};

// Splits raw answer text into status line, headers and body.
HttpAnswer parseAnswer(const std::string& raw);

enum class TlsVersion { Any, Only12, Only13 };

// A session that a later connection may offer, to resume it instead of a full handshake.
using TlsSession = std::shared_ptr<SSL_SESSION>;

// One connection, for tests that need to send a request in several pieces or to stop in
// the middle.
class TlsClient {
public:
    // Connects and completes the handshake, offering `resume` when given and trusting the
    // certificates of `trustedFile` (empty: the test certificate); throws std::runtime_error
    // when either fails.
    explicit TlsClient(unsigned short port, TlsVersion version = TlsVersion::Any,
                       const TlsSession& resume = nullptr, const std::string& trustedFile = "");
    ~TlsClient();
    TlsClient(const TlsClient&) = delete;
    TlsClient& operator=(const TlsClient&) = delete;

    // Writes one piece; pieces written separately travel in separate TLS records. A write
    // that fails (the server already closed) is ignored, so that the answer can be read.
    void send(const std::string& piece);
    // Reads until the server closes the connection; throws std::runtime_error when it
    // neither answers nor closes within clientPatience.
    HttpAnswer receive();
    // The session as it stands now; after receive() it holds the server's ticket also in
    // TLS 1.3, where the ticket follows the handshake.
    TlsSession session();
    // Whether the handshake resumed the session offered.
    bool resumed();

private:
    boost::asio::io_context io;
    boost::asio::ssl::context context;
    boost::asio::ssl::stream<boost::asio::ip::tcp::socket> stream;
};

// Connects, sends the whole request text and returns the answer.
HttpAnswer exchange(unsigned short port, const std::string& request);

// Plain TCP, without TLS: sends `text` (which may be empty) and collects what arrives until
// the server closes the connection. `closedByServer` is false when clientPatience ran out.
struct PlainExchange {
    bool closedByServer = false;
    std::string received;
};
PlainExchange exchangePlain(unsigned short port, const std::string& text);

// Whether a plain TCP connection to `address` on `port` is accepted; it is closed at once.
bool acceptsConnection(const boost::asio::ip::address& address, unsigned short port);

#endif
