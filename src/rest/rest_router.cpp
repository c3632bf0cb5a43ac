#include "rest/rest_router.h"

#include "logging/log_text.h"
#include "logging/logging.h"
#include <boost/asio/ip/host_name.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/log/trivial.hpp>
#include <json/writer.h>
#include <vector>

namespace {

const char* const jsonContentType = "application/json";

HttpException notFound() {
    return HttpException(404, "Not Found");
}

HttpException badRequest() {
    return HttpException(400, "Bad Request");
}

// The media type followed by a parameter, such as "application/json; charset=utf-8".
// Compared as a prefix rather than with a regular expression: the standard library's
// matcher recurses once per character and a long header value would overflow the stack.
// Header values never hold line breaks, so this accepts exactly "application/json;.*".
bool isJsonWithParameter(const std::string& contentType) {
    static const std::string prefix = "application/json;";
    return contentType.compare(0, prefix.size(), prefix) == 0;
}

// A POST must announce its JSON body: a browser sends a body without that type (a Blob, a
// form) to another origin without asking first, so such a body is never acted upon.
void checkContentType(const HttpRequest& request) {
    const auto contentType = request.headers.find("Content-Type");
    if (contentType == request.headers.end() ? request.method == "POST"
                                             : !isJsonWithParameter(contentType->second)) {
        throw badRequest();
    }
}

Json::Value exceptionBody(const std::string& text) {
    Json::Value body(Json::objectValue);
    body["exception"] = text;
    return body;
}

// Returns the body's text.
std::string answerWithJson(HttpResponse& response, int status, const std::string& reason,
                           const Json::Value& body) {
    const std::string text = Json::StyledWriter().write(body);
    response.status = status;
    response.statusText = reason;
    response.content.str("");
    response.content << text;
    response.headers["Content-Type"] = jsonContentType;
    return text;
}

void logAndAnswer(HttpResponse& response, int status, const std::string& reason,
                  const Json::Value& body) {
    BOOST_LOG_TRIVIAL(error) << "Rest exception: "
                             << answerWithJson(response, status, reason, body);
}

// Neither a refused page nor another site may read the answer.
void withoutCorsPermission(HttpResponse& response) {
    response.headers.erase("Access-Control-Allow-Origin");
    response.headers.erase("Access-Control-Allow-Headers");
}

// The program's own page and its data, refusals included: no other site may read them, show
// them in a frame or keep them.
void setPageHeaders(HttpResponse& response) {
    withoutCorsPermission(response);
    response.headers["Content-Security-Policy"] = "default-src 'self'; frame-ancestors 'none'";
    response.headers["X-Frame-Options"] = "DENY";
    response.headers["X-Content-Type-Options"] = "nosniff";
    response.headers["Referrer-Policy"] = "no-referrer";
    response.headers["Cache-Control"] = "no-store";
}

// Its host name, and its full name in its domain when the resolver knows one.
std::vector<std::string> machineNames() {
    std::vector<std::string> names{boost::asio::ip::host_name()};
    boost::asio::io_context io;
    boost::asio::ip::tcp::resolver resolver(io);
    boost::system::error_code unknown;
    const auto entries = resolver.resolve(names.front(), "",
                                          boost::asio::ip::resolver_base::canonical_name, unknown);
    if (!unknown && !entries.empty() && entries.begin()->host_name() != names.front()) {
        names.push_back(entries.begin()->host_name());
    }
    return names;
}

// A route that answers when it returns, as one that may answer later.
LaterRouteHandler answeringAtOnce(RouteHandler handler) {
    return [handler](std::shared_ptr<RestRequest> request, std::shared_ptr<RestResponse> response,
                     const RouteAnswer& answer) {
        handler(request, response);
        answer(nullptr);
    };
}

} // namespace

std::string methodName(Method method) {
    switch (method) {
    case Method::GET:
        return "GET";
    case Method::POST:
        return "POST";
    }
    return "";
}

RestRouter::RestRouter(HttpServer& server)
    : eventLoop(server.executor()), callerPolicy(server.listeningPort()) {
    if (server.serverSettings().listenOnAllAddresses) {
        allowMachineNames();
    }
    server.answerWith(*this);
}

RestRouter::~RestRouter() = default;

void RestRouter::addRoute(const std::string& path, Method method, RouteHandler handler,
                          RouteKind kind) {
    addRoute(path, method, answeringAtOnce(std::move(handler)), kind);
}

void RestRouter::addRoute(const std::string& path, Method method, LaterRouteHandler handler,
                          RouteKind kind) {
    Route& route = routes[path];
    route.kind = kind;
    route.handlers[methodName(method)] = std::move(handler);
}

void RestRouter::allowOrigin(const std::string& origin) {
    callerPolicy.allowOrigin(origin);
}

std::map<std::string, std::vector<std::string>> RestRouter::routeTable() const {
    std::map<std::string, std::vector<std::string>> table;
    for (const auto& route : routes) {
        for (const auto& handler : route.second.handlers) {
            table[route.first].push_back(handler.first);
        }
    }
    return table;
}

void RestRouter::allowMachineNames() {
    std::string listed;
    for (const std::string& name : machineNames()) {
        callerPolicy.allowHostName(name);
        listed += ", " + name;
    }
    BOOST_LOG_TRIVIAL(info) << "Answering as localhost, 127.0.0.1, [::1]" << listed
                            << " and this computer's addresses";
}

void RestRouter::admit(const HttpRequest& request, HttpResponse& response) {
    const Route* route = findRoute(request.path);
    const RouteKind kind = route == nullptr ? RouteKind::Route : route->kind;
    if (kind == RouteKind::Page || kind == RouteKind::PageData) {
        setPageHeaders(response);
    }
    try {
        callerPolicy.check(request, kind);
    } catch (const Refusal&) {
        withoutCorsPermission(response);
        throw;
    }
}

void RestRouter::handle(std::shared_ptr<HttpRequest> request,
                        std::shared_ptr<HttpResponse> response, HttpReply answer) {
    logInfoLater("REST Request: " + request->method + " " + escapeForLog(request->path));
    writeLogAfterAnswer();
    if (request->method == "OPTIONS") {
        answerPreflight(*request, *response);
        answer(nullptr);
        return;
    }
    const Route* route = findRoute(request->path);
    if (route == nullptr) {
        throw notFound();
    }
    // A method the route lacks is a bad request, not 405: web clients rely on this answer.
    const auto handler = route->handlers.find(request->method);
    if (handler == route->handlers.end()) {
        throw badRequest();
    }
    checkContentType(*request);
    auto restRequest = std::make_shared<RestRequest>(*request);
    auto restResponse = std::make_shared<RestResponse>(*response);
    // The answer holds the HTTP request, which the REST request refers to, until it is sent.
    handler->second(restRequest, restResponse,
                    [answer, request, restResponse, response](std::exception_ptr failure) {
                        if (!failure) {
                            restResponse->send();
                            response->headers["Content-Type"] = restResponse->contentType();
                        }
                        answer(failure);
                    });
}

void RestRouter::writeLogAfterAnswer() {
    // The answer is written before the event loop turns to what is posted now; when requests
    // come faster than that, one write of the file serves several. Lines logged by the
    // handler are written at once, and the waiting ones before them.
    if (!logFlushPosted) {
        logFlushPosted = true;
        boost::asio::post(eventLoop, [this] {
            logFlushPosted = false;
            flushLog();
        });
    }
}

const RestRouter::Route* RestRouter::findRoute(const std::string& path) const {
    const auto route = routes.find(path);
    return route == routes.end() ? nullptr : &route->second;
}

void RestRouter::answerPreflight(const HttpRequest& request, HttpResponse& response) const {
    if (request.path == "*") {
        response.headers["Allow"] = "GET,HEAD,POST,PUT,DELETE,OPTIONS";
        return;
    }
    const Route* route = findRoute(request.path);
    if (route == nullptr) {
        throw notFound();
    }
    std::string allowed;
    for (const auto& handler : route->handlers) {
        allowed += handler.first + ",";
    }
    response.headers["Allow"] = allowed + "OPTIONS";
    // A browser asks this before a public site's page may call a program on the machine.
    const auto privateNetwork = request.headers.find("Access-Control-Request-Private-Network");
    if (privateNetwork != request.headers.end() && privateNetwork->second == "true") {
        response.headers["Access-Control-Allow-Private-Network"] = "true";
    }
}

void RestRouter::prepare(HttpResponse& response) {
    response.headers["Access-Control-Allow-Headers"] =
        "Origin, X-Requested-With, Content-Type, Accept, X-UserCulture, Idempotency-Key";
    response.headers["Access-Control-Allow-Origin"] = "*";
    response.headers["Server"] = "Trivane Ledvik printer proxy";
}

void RestRouter::answerFailure(std::exception_ptr failure, HttpResponse& response) {
    try {
        std::rethrow_exception(failure);
    } catch (const Refusal& refusal) {
        answerWithJson(response, refusal.status, refusal.message,
                       exceptionBody(refusal.explanation));
    } catch (const RestException& exception) {
        logAndAnswer(response, exception.status, exception.message, exception.body);
    } catch (const HttpException& exception) {
        logAndAnswer(response, exception.status, exception.message,
                     exceptionBody(exception.message));
    } catch (const std::exception& exception) {
        logAndAnswer(response, 500, "Internal Server Error", exceptionBody(exception.what()));
    } catch (...) {
        logAndAnswer(response, 500, "Internal Server Error",
                     exceptionBody("Internal Server Error"));
    }
}
