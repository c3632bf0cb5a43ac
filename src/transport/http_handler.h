// The application as the HTTP server sees it: an object given each request and a way to
// answer it, at once or later, from any thread. The server reads and writes; the handler
// decides what is answered.
#ifndef TRANSPORT_HTTP_HANDLER_H
#define TRANSPORT_HTTP_HANDLER_H

#include "transport/http_request.h"
#include "transport/http_response.h"
#include <exception>
#include <functional>
#include <memory>

// Called once per request, from any thread: with null when the response is complete, or
// with the failure to answer instead (see HttpHandler::answerFailure). The response is then
// written on the server's event loop; at once when called there.
using HttpReply = std::function<void(std::exception_ptr failure)>;

class HttpHandler {
public:
    virtual ~HttpHandler();

    // Headers that every answer starts with, before the request is read.
    virtual void prepare(HttpResponse& response);
    // Decides whether the request may be served at all, once its header is read and before
    // its body is: throws HttpException (a Refusal) to answer it at once. Admits every
    // request.
    virtual void admit(const HttpRequest& request, HttpResponse& response);
    // Either throws, or answers through `answer` exactly once, now or later; the request and
    // the response are the handler's until then.
    virtual void handle(std::shared_ptr<HttpRequest> request,
                        std::shared_ptr<HttpResponse> response, HttpReply answer) = 0;
    // Makes `response` the answer to `failure`: HttpException with its status and message,
    // anything else 500, as plain text; whatever the handler had written is dropped. A
    // Refusal is logged by the server before.
    virtual void answerFailure(std::exception_ptr failure, HttpResponse& response);
};

#endif
