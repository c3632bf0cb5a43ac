#include "transport/http_server.h"

#include "transport/request_framing.h"
#include <algorithm>
#include <boost/asio/dispatch.hpp>
#include <boost/asio/error.hpp>
#include <boost/asio/post.hpp>
#include <boost/log/trivial.hpp>
#include <optional>

namespace asio = boost::asio;

namespace {

// What one read asks of the connection: a browser's whole request header, as a rule.
constexpr std::size_t readChunkBytes = 4096;
// A body that arrives faster than it is read is read in turns with the other connections:
// connections closed to make room then give their memory back between the turns, and one
// large body does not hold up the others' answers.
constexpr std::size_t bodyBytesPerTurn = 64 * 1024;

// A connection waiting for an answer that another thread may give. Only the event loop may
// free a connection (it leaves the limits then), so the reference is dropped there: once the
// answer is written, or, should the answer never come, posted to the loop.
struct WaitingConnection {
    WaitingConnection(asio::io_context& loop, Connection connection)
        : loop(loop), connection(std::move(connection)) {}
    ~WaitingConnection() {
        if (connection) {
            asio::post(loop, [unanswered = std::move(connection)] {});
        }
    }

    asio::io_context& loop;
    Connection connection;
};

// A request that cannot be taken as it came (malformed, too large, a version or framing not
// spoken): any program that may connect can send them as fast as it likes, so their lines are
// collapsed per caller and answer, as refusals are. The answer is the failure's own.
std::exception_ptr asRefusal(const TlsConnection& connection, std::exception_ptr failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const Refusal&) {
        return failure;
    } catch (const HttpException& malformed) {
        const std::string answer = std::to_string(malformed.status) + " " + malformed.message;
        return std::make_exception_ptr(
            Refusal(malformed.status, malformed.message,
                    "requests of " + connection.caller + " answered " + answer, malformed.message,
                    "Refused a request of " + connection.caller + ": " + answer));
    } catch (...) {
        return failure;
    }
}

} // namespace

HttpServer::~HttpServer() = default;

void HttpServer::answerWith(HttpHandler& handler) {
    this->handler = &handler;
}

void HttpServer::readRequest(Connection connection) {
    auto request = std::make_shared<HttpRequest>();
    auto response = std::make_shared<HttpResponse>();
    request->serverAddress = connection->localAddress;
    response->headers["Connection"] = "close";
    handler->prepare(*response);
    renewTimeout(connection);
    readHeader(connection, request, response);
}

void HttpServer::readHeader(const Connection& connection, const Request& request,
                            const Response& response) {
    boost::system::error_code error;
    while (!error) {
        const std::size_t bytes =
            connection->readSome(request->buffer.prepare(readChunkBytes), error);
        request->buffer.commit(bytes);
        if (const std::optional<std::size_t> headerBytes =
                bytes > 0 ? headerLength(request->buffer) : std::nullopt) {
            onHeaderRead(connection, request, response, *headerBytes);
            return;
        }
    }
    // Any other failure (the peer went, or the connection was closed) ends the connection
    // when the last reference goes.
    if (error == asio::error::would_block) {
        connection->whenReady(
            [this, connection, request, response](const boost::system::error_code& error) {
                if (!error) {
                    readHeader(connection, request, response);
                }
            });
    }
}

void HttpServer::onHeaderRead(const Connection& connection, const Request& request,
                              const Response& response, std::size_t headerBytes) {
    std::size_t remaining = 0;
    try {
        checkHeaderSize(headerBytes);
        parseRequest(*request);
        handler->admit(*request, *response);
        remaining = bodyBytesToRead(*request);
        if (remaining > 0 && !reserveBody(connection, remaining)) {
            throw HttpException(503, "Service Unavailable");
        }
    } catch (...) {
        answer(connection, response, asRefusal(*connection, std::current_exception()));
        return;
    }
    if (remaining == 0) {
        dispatch(connection, request, response);
        return;
    }
    renewTimeout(connection);
    readBody(connection, request, response, remaining);
}

void HttpServer::readBody(const Connection& connection, const Request& request,
                          const Response& response, std::size_t remaining) {
    boost::system::error_code error;
    std::size_t readThisTurn = 0;
    while (remaining > 0 && !error && readThisTurn < bodyBytesPerTurn) {
        const std::size_t bytes = connection->readSome(
            request->buffer.prepare(std::min(remaining, readChunkBytes)), error);
        request->buffer.commit(bytes);
        remaining -= bytes;
        readThisTurn += bytes;
    }
    if (remaining == 0) {
        dispatch(connection, request, response);
        return;
    }
    auto goOn = [this, connection, request, response,
                 remaining](const boost::system::error_code& error) {
        if (!error) {
            readBody(connection, request, response, remaining);
        }
    };
    if (error == asio::error::would_block) {
        connection->whenReady(std::move(goOn));
    } else if (!error) {
        asio::post(ioContext, [goOn] { goOn(boost::system::error_code()); });
    }
}

void HttpServer::dispatch(const Connection& connection, const Request& request,
                          const Response& response) {
    awaitAnswer(connection);
    auto waiting = std::make_shared<WaitingConnection>(ioContext, connection);
    HttpReply answerLater = [this, waiting, response](std::exception_ptr failure) {
        asio::dispatch(ioContext, [this, waiting, response, failure] {
            answer(waiting->connection, response, failure);
            waiting->connection.reset();
        });
    };
    try {
        handler->handle(request, response, std::move(answerLater));
    } catch (...) {
        answer(connection, response, std::current_exception());
    }
}

void HttpServer::answer(const Connection& connection, const Response& response,
                        std::exception_ptr failure) {
    if (failure) {
        try {
            std::rethrow_exception(failure);
        } catch (const Refusal& refusal) {
            logRefusal(refusal.caller, refusal.logLine);
        } catch (...) {
            // Every other failure is the handler's to log as it answers it.
        }
        handler->answerFailure(failure, *response);
    }
    answerStarted(connection);
    response->finalizeHeaders();
    writeAll(connection, std::make_shared<const std::string>(response->serialize()));
}
