#include "transport/http_server.h"

#include "transport/request_framing.h"
#include <algorithm>
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

// Whatever a failing handler had written is dropped, so that the answer is only the error.
void answerWithText(HttpResponse& response, int status, const std::string& reason,
                    const std::string& body) {
    response.status = status;
    response.statusText = reason;
    response.content.str("");
    response.content << body;
    response.headers["Content-Type"] = "text/plain";
}

} // namespace

HttpServer::~HttpServer() = default;

void HttpServer::readRequest(Connection connection) {
    auto request = std::make_shared<HttpRequest>();
    auto response = std::make_shared<HttpResponse>();
    request->serverAddress = connection->localAddress;
    prepareResponse(response);
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
    std::size_t bodyPending = 0;
    answerFailures(response, [&] {
        checkHeaderSize(headerBytes);
        parseRequest(*request);
        admitRequest(*request, *response);
        const std::size_t remaining = bodyBytesToRead(*request);
        if (remaining > 0 && !reserveBody(connection, remaining)) {
            throw HttpException(503, "Service Unavailable");
        }
        bodyPending = remaining;
        if (remaining == 0) {
            handleRequest(request, response);
        }
    });
    if (bodyPending == 0) {
        writeResponse(connection, response);
        return;
    }
    renewTimeout(connection);
    readBody(connection, request, response, bodyPending);
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
        onBodyRead(connection, request, response);
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

void HttpServer::onBodyRead(const Connection& connection, const Request& request,
                            const Response& response) {
    answerFailures(response, [&] { handleRequest(request, response); });
    writeResponse(connection, response);
}

void HttpServer::answerFailures(const Response& response, const std::function<void()>& step) {
    try {
        step();
    } catch (const HttpException& exception) {
        onHttpException(exception, response);
    } catch (const std::exception& exception) {
        onStdException(exception, response);
    } catch (...) {
        onUnknownException(response);
    }
}

void HttpServer::writeResponse(const Connection& connection, const Response& response) {
    answerStarted(connection);
    response->finalizeHeaders();
    writeAll(connection, std::make_shared<const std::string>(response->serialize()));
}

void HttpServer::onUnknownException(std::shared_ptr<HttpResponse> response) {
    BOOST_LOG_TRIVIAL(error) << "Http exception: unknown";
    answerWithText(*response, 500, "Internal Server Error", "Internal Server Error");
}

void HttpServer::onStdException(const std::exception& exception,
                                std::shared_ptr<HttpResponse> response) {
    BOOST_LOG_TRIVIAL(error) << "Http exception[std]: " << exception.what();
    answerWithText(*response, 500, "Internal Server Error",
                   std::string("Internal Server Error: ") + exception.what());
}

void HttpServer::onHttpException(const HttpException& exception,
                                 std::shared_ptr<HttpResponse> response) {
    if (const auto* refusal = dynamic_cast<const Refusal*>(&exception)) {
        logRefusal(refusal->caller, refusal->logLine);
        answerWithText(*response, exception.status, exception.message, refusal->explanation);
        return;
    }
    BOOST_LOG_TRIVIAL(error) << "Http exception: " << exception.status << " " << exception.message;
    answerWithText(*response, exception.status, exception.message, exception.message);
}

void HttpServer::admitRequest(const HttpRequest&, HttpResponse&) {}

void HttpServer::prepareResponse(std::shared_ptr<HttpResponse> response) {
    response->headers["Connection"] = "close";
}
