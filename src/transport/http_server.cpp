#include "transport/http_server.h"

#include "transport/request_framing.h"
#include <boost/asio/buffer.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/write.hpp>
#include <boost/log/trivial.hpp>

namespace asio = boost::asio;

namespace {

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
    Timer timer = setTimeout(connection);
    auto request = std::make_shared<HttpRequest>();
    auto response = std::make_shared<HttpResponse>();
    prepareResponse(response);
    asio::async_read_until(*connection, request->buffer, HeaderEnd(request->buffer),
                           [this, connection, request, response,
                            timer](const boost::system::error_code& error, std::size_t bytes) {
                               onHeaderRead(connection, request, response, timer, error, bytes);
                           });
}

void HttpServer::onHeaderRead(Connection connection, Request request, Response response,
                              Timer timer, const boost::system::error_code& error,
                              std::size_t headerBytes) {
    timer->cancel();
    // A failed read (the peer went, or the connection was closed to make room) ends the
    // connection when the last reference goes.
    if (error) {
        return;
    }
    bool bodyPending = false;
    answerFailures(response, [&] {
        checkHeaderSize(headerBytes);
        parseRequest(*request);
        const std::size_t remaining = bodyBytesToRead(*request);
        if (remaining > 0) {
            if (!reserveBody(connection, remaining)) {
                throw HttpException(503, "Service Unavailable");
            }
            readBody(connection, request, response, remaining);
            bodyPending = true;
            return;
        }
        handleRequest(request, response);
    });
    if (!bodyPending) {
        writeResponse(connection, response);
    }
}

void HttpServer::readBody(Connection connection, Request request, Response response,
                          std::size_t bytes) {
    Timer timer = setTimeout(connection);
    asio::async_read(*connection, request->buffer, asio::transfer_exactly(bytes),
                     [this, connection, request, response,
                      timer](const boost::system::error_code& error, std::size_t) {
                         onBodyRead(connection, request, response, timer, error);
                     });
}

void HttpServer::onBodyRead(Connection connection, Request request, Response response, Timer timer,
                            const boost::system::error_code& error) {
    timer->cancel();
    if (error) {
        return;
    }
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

void HttpServer::writeResponse(Connection connection, Response response) {
    answerStarted(connection);
    response->finalizeHeaders();
    auto text = std::make_shared<std::string>(response->serialize());
    Timer timer = setTimeout(connection);
    // No close-notify is sent: the connection closes when the last reference goes.
    asio::async_write(*connection, asio::buffer(*text),
                      [connection, text, timer](const boost::system::error_code&, std::size_t) {
                          timer->cancel();
                      });
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
    BOOST_LOG_TRIVIAL(error) << "Http exception: " << exception.status << " " << exception.message;
    answerWithText(*response, exception.status, exception.message, exception.message);
}

void HttpServer::prepareResponse(std::shared_ptr<HttpResponse> response) {
    response->headers["Connection"] = "close";
}
