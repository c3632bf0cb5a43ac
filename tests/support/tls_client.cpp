#include "support/tls_client.h"

#include "support/test_certificate.h"
#include <boost/asio/connect.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <boost/optional.hpp>
#include <sstream>
#include <stdexcept>

namespace asio = boost::asio;
using boost::system::error_code;

namespace {

// Runs `io` until the operation that `start` begins completes. When clientPatience runs out
// first, the socket is closed so that the operation ends, and the wait throws.
template <typename Start>
error_code awaitCompletion(asio::io_context& io, asio::ip::tcp::socket& socket, Start start) {
    boost::optional<error_code> result;
    start([&result](const error_code& error, auto&&...) { result = error; });
    io.restart();
    io.run_for(clientPatience);
    if (!result) {
        error_code ignored;
        socket.close(ignored);
        io.restart();
        io.run();
        throw std::runtime_error("the server did not react within the client's patience");
    }
    return *result;
}

asio::ip::tcp::endpoint loopback(unsigned short port) {
    return {asio::ip::address_v4::loopback(), port};
}

asio::ssl::context::method clientMethod(TlsVersion version) {
    switch (version) {
    case TlsVersion::Only12:
        return asio::ssl::context::tlsv12_client;
    case TlsVersion::Only13:
        return asio::ssl::context::tlsv13_client;
    case TlsVersion::Any:
        break;
    }
    return asio::ssl::context::tls_client;
}

void throwOnError(const error_code& error, const std::string& step) {
    if (error) {
        throw std::runtime_error(step + " failed: " + error.message());
    }
}

} // namespace

bool HttpAnswer::hasHeader(const std::string& name) const {
    return headers.count(name) > 0;
}

std::string HttpAnswer::header(const std::string& name) const {
    const auto found = headers.find(name);
    return found == headers.end() ? std::string() : found->second;
}

HttpAnswer parseAnswer(const std::string& raw) {
    HttpAnswer answer;
    answer.raw = raw;
    const std::size_t headerEnd = raw.find("\r\n\r\n");
    if (raw.compare(0, 5, "HTTP/") != 0 || headerEnd == std::string::npos) {
        return answer;
    }
    answer.answered = true;
    answer.body = raw.substr(headerEnd + 4);
    std::istringstream header(raw.substr(0, headerEnd + 2));
    std::string line;
    std::getline(header, line);
    std::istringstream statusLine(line.substr(5, line.size() - 6));
    statusLine >> answer.httpVersion >> answer.status;
    std::getline(statusLine >> std::ws, answer.reason);
    while (std::getline(header, line)) {
        line.pop_back();
        const std::size_t colon = line.find(": ");
        if (colon != std::string::npos) {
            answer.headers[line.substr(0, colon)] = line.substr(colon + 2);
        }
    }
    return answer;
}

TlsClient::TlsClient(unsigned short port, TlsVersion version, const TlsSession& resume,
                     const std::string& trustedFile)
    : context(clientMethod(version)), stream(io, context) {
    context.load_verify_file(trustedFile.empty() ? testCertificateFile() : trustedFile);
    // The server closes without a close-notify; browsers still resume such sessions, and
    // OpenSSL only does so with this option.
    SSL_CTX_set_options(context.native_handle(), SSL_OP_IGNORE_UNEXPECTED_EOF);
    stream.set_verify_mode(asio::ssl::verify_peer);
    if (resume && SSL_set_session(stream.native_handle(), resume.get()) != 1) {
        throw std::runtime_error("the session to resume was refused");
    }
    asio::ip::tcp::socket& socket = stream.next_layer();
    throwOnError(
        awaitCompletion(io, socket,
                        [&](auto handler) { socket.async_connect(loopback(port), handler); }),
        "connect");
    throwOnError(awaitCompletion(io, socket,
                                 [&](auto handler) {
                                     stream.async_handshake(asio::ssl::stream_base::client,
                                                            handler);
                                 }),
                 "handshake");
}

TlsClient::~TlsClient() = default;

void TlsClient::send(const std::string& piece) {
    awaitCompletion(io, stream.next_layer(),
                    [&](auto handler) { asio::async_write(stream, asio::buffer(piece), handler); });
}

HttpAnswer TlsClient::receive() {
    std::string raw;
    // Reads to the end; end of stream, a missing close-notify or a reset all end the
    // answer, so the error is not looked at.
    awaitCompletion(io, stream.next_layer(), [&](auto handler) {
        asio::async_read(stream, asio::dynamic_buffer(raw), handler);
    });
    return parseAnswer(raw);
}

TlsSession TlsClient::session() {
    return TlsSession(SSL_get1_session(stream.native_handle()), SSL_SESSION_free);
}

bool TlsClient::resumed() {
    return SSL_session_reused(stream.native_handle()) == 1;
}

HttpAnswer exchange(unsigned short port, const std::string& request) {
    TlsClient client(port);
    client.send(request);
    return client.receive();
}

PlainExchange exchangePlain(unsigned short port, const std::string& text) {
    asio::io_context io;
    asio::ip::tcp::socket socket(io);
    throwOnError(
        awaitCompletion(io, socket,
                        [&](auto handler) { socket.async_connect(loopback(port), handler); }),
        "connect");
    PlainExchange result;
    try {
        if (!text.empty()) {
            awaitCompletion(io, socket, [&](auto handler) {
                asio::async_write(socket, asio::buffer(text), handler);
            });
        }
        awaitCompletion(io, socket, [&](auto handler) {
            asio::async_read(socket, asio::dynamic_buffer(result.received), handler);
        });
        result.closedByServer = true;
    } catch (const std::runtime_error&) {
        // Patience ran out: the server kept the connection open, which is the answer.
    }
    return result;
}

bool acceptsConnection(const asio::ip::address& address, unsigned short port) {
    asio::io_context io;
    asio::ip::tcp::socket socket(io);
    return !awaitCompletion(io, socket, [&](auto handler) {
        socket.async_connect(asio::ip::tcp::endpoint(address, port), handler);
    });
}
