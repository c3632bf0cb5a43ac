#include "transport/tls_connection.h"

#include <boost/asio/error.hpp>
#include <boost/asio/ssl/error.hpp>
#include <boost/log/trivial.hpp>
#include <cerrno>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <string>

namespace asio = boost::asio;
using boost::system::error_code;

namespace {

// How many bytes a connection keeps to send before a write waits for the socket: an answer
// larger than this is not copied whole.
constexpr std::size_t outgoingBound = 64 * 1024;

#ifdef _WIN32
int lastSocketError() {
    return WSAGetLastError();
}
#else
int lastSocketError() {
    return errno;
}
#endif

error_code sslError(unsigned long code) {
    return error_code(static_cast<int>(code), asio::error::get_ssl_category());
}

} // namespace

// OpenSSL reads the socket itself; what it writes is kept by the connection and sent in one
// go when the connection next waits for its peer or has written its answer. A handshake's
// session ticket then leaves with the answer when the request came with the handshake's
// end, not in a segment of its own that wakes the client once more. Sending through the
// socket also never raises SIGPIPE when the peer has gone (OpenSSL's socket BIO would).
struct TlsConnection::Bio {
    static const BIO_METHOD* method() {
        static BIO_METHOD* const own = [] {
            const BIO_METHOD* socket = BIO_s_socket();
            BIO_METHOD* method = BIO_meth_new(BIO_TYPE_SOCKET, "socket sending in one go");
            BIO_meth_set_write(method, keep);
            BIO_meth_set_read(method, BIO_meth_get_read(socket));
            BIO_meth_set_ctrl(method, BIO_meth_get_ctrl(socket));
            BIO_meth_set_create(method, BIO_meth_get_create(socket));
            BIO_meth_set_destroy(method, BIO_meth_get_destroy(socket));
            return method;
        }();
        return own;
    }

    static int keep(BIO* bio, const char* data, int size) {
        TlsConnection& connection = *static_cast<TlsConnection*>(BIO_get_data(bio));
        BIO_clear_retry_flags(bio);
        error_code error;
        if (connection.outgoing.size() >= outgoingBound && !connection.sendOutgoing(error)) {
            if (error == asio::error::would_block) {
                BIO_set_retry_write(bio);
            }
            return -1;
        }
        connection.outgoing.append(data, static_cast<std::size_t>(size));
        return size;
    }
};

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
    BIO* bio = ssl == nullptr ? nullptr : BIO_new(Bio::method());
    if (bio == nullptr) {
        error = sslError(ERR_get_error());
        ERR_clear_error();
        return false;
    }
    BIO_set_fd(bio, static_cast<int>(tcpSocket.native_handle()), BIO_NOCLOSE);
    BIO_set_data(bio, this);
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
    if (!usable(error) ||
        (buffer.size() > 0 &&
         !succeeded(SSL_write_ex(ssl, buffer.data(), buffer.size(), &bytes), error))) {
        return 0;
    }
    sendOutgoing(error);
    return bytes;
}

bool TlsConnection::sendOutgoing(error_code& error) {
    while (!outgoing.empty()) {
        const std::size_t sent = tcpSocket.send(asio::buffer(outgoing), 0, error);
        if (error) {
            waitsToWrite = true;
            return false;
        }
        outgoing.erase(0, sent);
    }
    // A connection waiting for its peer holds no memory for sending.
    std::string().swap(outgoing);
    return true;
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
        // The peer answers only what it has been sent.
        if (sendOutgoing(error)) {
            waitsToWrite = false;
            error = asio::error::would_block;
        }
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
