#ifndef TRANSPORT_HTTP_SERVER_H
#define TRANSPORT_HTTP_SERVER_H

#include "transport/http_exception.h"
#include "transport/http_request.h"
#include "transport/http_response.h"
#include "transport/server.h"
#include <cstddef>
#include <exception>
#include <functional>
#include <memory>

// Reads one HTTP/1.1 request per connection, lets the derived class answer it, writes the
// answer and closes the connection.
class HttpServer : public Server {
public:
    using Server::Server;
    ~HttpServer() override;

protected:
    void readRequest(Connection connection) override;
    virtual void onUnknownException(std::shared_ptr<HttpResponse> response);
    virtual void onStdException(const std::exception& exception,
                                std::shared_ptr<HttpResponse> response);
    virtual void onHttpException(const HttpException& exception,
                                 std::shared_ptr<HttpResponse> response);
    // Decides whether the request may be served at all, once its header is read and before
    // its body is: throws HttpException (a Refusal) to answer it at once. Admits every
    // request.
    virtual void admitRequest(const HttpRequest& request, HttpResponse& response);
    virtual void handleRequest(std::shared_ptr<HttpRequest> request,
                               std::shared_ptr<HttpResponse> response) = 0;
    virtual void prepareResponse(std::shared_ptr<HttpResponse> response);

private:
    using Request = std::shared_ptr<HttpRequest>;
    using Response = std::shared_ptr<HttpResponse>;

    // Each read goes on as long as the connection has bytes at once, then waits for more.
    void readHeader(const Connection& connection, const Request& request, const Response& response);
    void onHeaderRead(const Connection& connection, const Request& request,
                      const Response& response, std::size_t headerBytes);
    void readBody(const Connection& connection, const Request& request, const Response& response,
                  std::size_t remaining);
    void onBodyRead(const Connection& connection, const Request& request, const Response& response);
    // Runs one step of request handling; an exception becomes an error answer through the
    // three exception handlers.
    void answerFailures(const Response& response, const std::function<void()>& step);
    void writeResponse(const Connection& connection, const Response& response);
};

// Parses the request line and header lines from `request.content`; throws
// HttpException(400, "Bad Request") for a malformed request and HttpException(505, "HTTP
// Version Not Supported") for a version other than 1.0 and 1.1.
void parseRequest(HttpRequest& request);

#endif
