#include "transport/tls_connection.h"

#include <array>
#include <boost/asio/error.hpp>
#include <boost/asio/ssl/error.hpp>
#include <boost/log/trivial.hpp>
#include <cerrno>
#include <openssl/bio.h>
#include <openssl/err.h>
#ifndef _WIN32
#include <sys/socket.h>
#endif

namespace asio = boost::asio;
using boost::system::error_code;

namespace {

#ifdef _WIN32
const BIO_METHOD* socketMethod() {
    return BIO_s_socket();
}

int lastSocketError() {
    return WSAGetLastError();
}
#else
// OpenSSL's socket BIO writes with write(), which raises SIGPIPE when the peer has gone and
// ends a process that has not chosen to ignore it; this one sends with MSG_NOSIGNAL and is
// the socket BIO otherwise.
int sendWithoutSignal(BIO* bio, const char* data, int size) {
    const ssize_t sent =
        ::send(BIO_get_fd(bio, nullptr), data, static_cast<std::size_t>(size), MSG_NOSIGNAL);
    BIO_clear_retry_flags(bio);
    if (sent < 0 && BIO_sock_should_retry(-1)) {
        BIO_set_retry_write(bio);
    }
    return static_cast<int>(sent);
}

const BIO_METHOD* socketMethod() {
    static BIO_METHOD* const method = [] {
        const BIO_METHOD* socket = BIO_s_socket();
        BIO_METHOD* own = BIO_meth_new(BIO_TYPE_SOCKET, "socket without SIGPIPE");
        BIO_meth_set_write(own, sendWithoutSignal);
        BIO_meth_set_read(own, BIO_meth_get_read(socket));
        BIO_meth_set_puts(own, BIO_meth_get_puts(socket));
        BIO_meth_set_ctrl(own, BIO_meth_get_ctrl(socket));
        BIO_meth_set_create(own, BIO_meth_get_create(socket));
        BIO_meth_set_destroy(own, BIO_meth_get_destroy(socket));
        return own;
    }();
    return method;
}

int lastSocketError() {
    return errno;
}
#endif

error_code sslError(unsigned long code) {
    return error_code(static_cast<int>(code), asio::error::get_ssl_category());
}

} // namespace

TlsConnection::TlsConnection(asio::io_context& ioContext, SSL_CTX* context,
                             std::shared_ptr<ConnectionLimits> limits)
    : tcpSocket(ioContext), context(context), limits(std::move(limits)) {}

TlsConnection::~TlsConnection() {
    limits->release(*this);
    // No close-notify is sent: the socket closes with the connection.
    SSL_free(ssl);
}

bool TlsConnection::begin(error_code& error) {
    tcpSocket.non_blocking(true, error);
    if (error) {
        return false;
    }
    // The handshake's last flight and the answer are small writes that follow one another
    // before the client has acknowledged the first; Nagle's algorithm would hold the second
    // back until it has. A socket that refuses the option fails its handshake next.
    error_code ignored;
    tcpSocket.set_option(asio::ip::tcp::no_delay(true), ignored);
    ERR_clear_error();
    ssl = SSL_new(context);
    BIO* bio = ssl == nullptr ? nullptr : BIO_new(socketMethod());
    if (bio == nullptr) {
        error = sslError(ERR_get_error());
        ERR_clear_error();
        return false;
    }
    BIO_set_fd(bio, static_cast<int>(tcpSocket.native_handle()), BIO_NOCLOSE);
    SSL_set_bio(ssl, bio, bio);
    SSL_set_accept_state(ssl);
    // Whatever the socket holds is read at once, not a record's header and then its body in
    // two reads: a request costs fewer system calls.
    SSL_set_read_ahead(ssl, 1);
    // A write may end part-way (the rest is written when the socket is writable again),
    // from wherever the caller holds the rest.
    SSL_set_mode(ssl, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    return true;
}

bool TlsConnection::handshake(error_code& error) {
    return usable(error) && succeeded(SSL_do_handshake(ssl), error);
}

std::size_t TlsConnection::readSome(asio::mutable_buffer buffer, error_code& error) {
    std::size_t bytes = 0;
    return usable(error) && succeeded(SSL_read_ex(ssl, buffer.data(), buffer.size(), &bytes), error)
               ? bytes
               : 0;
}

std::size_t TlsConnection::writeSome(asio::const_buffer buffer, error_code& error) {
    std::size_t bytes = 0;
    return usable(error) &&
                   succeeded(SSL_write_ex(ssl, buffer.data(), buffer.size(), &bytes), error)
               ? bytes
               : 0;
}

bool TlsConnection::usable(error_code& error) {
    // A socket closed meanwhile (timed out, or closed to make room) must not be touched:
    // its descriptor may already belong to another connection.
    if (!tcpSocket.is_open()) {
        error = asio::error::bad_descriptor;
        return false;
    }
    // OpenSSL reads a step's outcome from the thread's error queue, which must hold only
    // what this step leaves in it.
    ERR_clear_error();
    return true;
}

bool TlsConnection::succeeded(int result, error_code& error) {
    if (result == 1) {
        error = error_code();
        return true;
    }
    switch (SSL_get_error(ssl, result)) {
    case SSL_ERROR_WANT_READ:
        waitsToWrite = false;
        error = asio::error::would_block;
        break;
    case SSL_ERROR_WANT_WRITE:
        waitsToWrite = true;
        error = asio::error::would_block;
        break;
    case SSL_ERROR_ZERO_RETURN:
        error = asio::error::eof;
        break;
    case SSL_ERROR_SYSCALL:
        if (ERR_peek_error() == 0) {
            const int code = lastSocketError();
            error = code == 0 ? error_code(asio::error::eof)
                              : error_code(code, boost::system::system_category());
            break;
        }
        [[fallthrough]];
    default:
        const unsigned long code = ERR_get_error();
        error = code == 0 ? error_code(asio::error::connection_aborted) : sslError(code);
        break;
    }
    ERR_clear_error();
    return false;
}

bool TlsConnection::heardFrom() const {
    return ssl != nullptr && BIO_number_read(SSL_get_rbio(ssl)) > 0;
}

bool TlsConnection::leftWithoutAWord() {
    char first = 0;
    error_code error;
    const std::size_t peeked =
        tcpSocket.receive(asio::buffer(&first, 1), asio::socket_base::message_peek, error);
    return peeked == 0 && (error == asio::error::eof || error == asio::error::connection_reset);
}

void TlsConnection::close(const std::string& what) {
    error_code error;
    tcpSocket.shutdown(asio::ip::tcp::socket::shutdown_both, error);
    // A peer that has already reset the connection leaves nothing to shut down; that is
    // the peer's doing, not a failure worth a log line.
    if (error && error != asio::error::not_connected) {
        BOOST_LOG_TRIVIAL(error) << "Shutting down " << what << " failed: " << error.message();
    }
    tcpSocket.close(error);
    if (error) {
        BOOST_LOG_TRIVIAL(error) << "Closing " << what << " failed: " << error.message();
    }
}

void TlsConnection::denyAccess() {
    // The client's first flight is read and dropped: a socket closed with bytes unread
    // resets the connection, and the client could lose the alert to the reset.
    std::array<char, 4096> dropped;
    error_code error;
    while (!error) {
        tcpSocket.read_some(asio::buffer(dropped), error);
    }
    // A TLS record: alert (21), TLS 1.2 (3, 3), two bytes long: fatal (2), access_denied (49).
    static const unsigned char accessDenied[] = {21, 3, 3, 0, 2, 2, 49};
    tcpSocket.write_some(asio::buffer(accessDenied), error);
    close("a refused connection");
}
