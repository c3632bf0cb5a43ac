#ifndef TRANSPORT_HTTP_SERVER_H
#define TRANSPORT_HTTP_SERVER_H

#include "transport/http_exception.h"
#include "transport/http_handler.h"
#include "transport/http_request.h"
#include "transport/http_response.h"
#include "transport/server.h"
#include <boost/asio/any_io_executor.hpp>
#include <cstddef>
#include <exception>
#include <memory>

// Reads one HTTP/1.1 request per connection, hands it to the handler, writes the handler's
// answer whenever it comes and closes the connection. The event loop never waits for an
// answer: a connection whose request is whole has no deadline until its answer is written.
class HttpServer final : public Server {
public:
    using Server::Server;
    ~HttpServer() override;

    // The handler of every request from now on; set before `start`, and it must outlive
    // the server's event loop.
    void answerWith(HttpHandler& handler);
    // The event loop's executor, for work that must run on it.
    boost::asio::any_io_executor executor() { return ioContext.get_executor(); }
    const ServerSettings& serverSettings() const { return settings; }

protected:
    void readRequest(Connection connection) override;

private:
    using Request = std::shared_ptr<HttpRequest>;
    using Response = std::shared_ptr<HttpResponse>;

    // Each read goes on as long as the connection has bytes at once, then waits for more.
    void readHeader(const Connection& connection, const Request& request, const Response& response);
    void onHeaderRead(const Connection& connection, const Request& request,
                      const Response& response, std::size_t headerBytes);
    void readBody(const Connection& connection, const Request& request, const Response& response,
                  std::size_t remaining);
    // Gives the whole request to the handler.
    void dispatch(const Connection& connection, const Request& request, const Response& response);
    // Writes the response, or the handler's answer to `failure` when there is one.
    void answer(const Connection& connection, const Response& response, std::exception_ptr failure);

    HttpHandler* handler = nullptr;
};

// Parses the request line and header lines from `request.content`; throws
// HttpException(400, "Bad Request") for a malformed request and HttpException(505, "HTTP
// Version Not Supported") for a version other than 1.0 and 1.1.
void parseRequest(HttpRequest& request);

#endif
