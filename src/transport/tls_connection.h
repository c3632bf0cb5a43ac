// One accepted connection speaking TLS directly on its socket: OpenSSL reads and writes the
// non-blocking socket itself, and the event loop only waits until the socket is ready. No
// byte passes through memory buffers of the event loop's in between.
#ifndef TRANSPORT_TLS_CONNECTION_H
#define TRANSPORT_TLS_CONNECTION_H

#include "transport/connection_limits.h"
#include <boost/asio/buffer.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/system/error_code.hpp>
#include <cstddef>
#include <memory>
#include <openssl/ssl.h>
#include <string>
#include <utility>

// Each step does what it can at once and never blocks: when the socket must first become
// readable or writable it sets the error to boost::asio::error::would_block, and
// `whenReady` calls back once the socket is. Other errors end the connection: the peer
// went (boost::asio::error::eof), a TLS failure (the SSL error category), or a closed socket.
class TlsConnection : public HeldConnection {
public:
    TlsConnection(boost::asio::io_context& ioContext, SSL_CTX* context,
                  std::shared_ptr<ConnectionLimits> limits);
    ~TlsConnection();

    boost::asio::ip::tcp::socket& socket() { return tcpSocket; }

    // Sets up TLS on the accepted socket; false (with the error set) when the socket has
    // already failed.
    bool begin(boost::system::error_code& error);
    // True once the server side of the handshake is done.
    bool handshake(boost::system::error_code& error);
    std::size_t readSome(boost::asio::mutable_buffer buffer, boost::system::error_code& error);
    std::size_t writeSome(boost::asio::const_buffer buffer, boost::system::error_code& error);

    // Calls `next(error)` once the socket can do what the last step was waiting for; with
    // operation_aborted when the connection is closed first.
    template <typename Next> void whenReady(Next&& next) {
        tcpSocket.async_wait(waitsToWrite ? boost::asio::socket_base::wait_write
                                          : boost::asio::socket_base::wait_read,
                             std::forward<Next>(next));
    }

    // Shuts the TCP connection down and closes the socket; a failure is logged, naming the
    // connection `what`.
    void close(const std::string& what) override;
    // Answers the client's first bytes with TLS's "access denied" alert instead of a
    // handshake, and closes: the client learns at once that it was refused.
    void denyAccess();

    // True once the client has sent a byte: a client that closes without a word (a
    // browser's spare connection) has not failed a handshake.
    bool heardFrom() const;
    // True when the client closed the connection before sending a byte; for a socket that
    // is ready to read.
    bool leftWithoutAWord();

    // The address of this computer that the client connected to.
    boost::asio::ip::address localAddress;
    // Who the client is, for log lines: its address, and its account where known.
    std::string caller;

private:
    // False, with the error set, when the socket is closed; clears OpenSSL's error queue.
    bool usable(boost::system::error_code& error);
    // What a step's result means: done, or the error it leaves.
    bool succeeded(int result, boost::system::error_code& error);

    boost::asio::ip::tcp::socket tcpSocket;
    SSL_CTX* const context;
    SSL* ssl = nullptr;
    bool waitsToWrite = false;
    const std::shared_ptr<ConnectionLimits> limits;
};

using Connection = std::shared_ptr<TlsConnection>;

#endif
