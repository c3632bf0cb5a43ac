#include "rest/rest_server.h"

#include "logging/log_text.h"
#include "logging/logging.h"
#include <boost/asio/post.hpp>
#include <boost/log/trivial.hpp>
#include <json/writer.h>

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

void answerWithJson(HttpResponse& response, int status, const std::string& reason,
                    const Json::Value& body) {
    const std::string text = Json::StyledWriter().write(body);
    BOOST_LOG_TRIVIAL(error) << "Rest exception: " << text;
    response.status = status;
    response.statusText = reason;
    response.content.str("");
    response.content << text;
    response.headers["Content-Type"] = jsonContentType;
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

RestServer::RestServer(const ServerSettings& settings) : HttpServer(settings) {
    const std::string port = std::to_string(listeningPort());
    for (const char* host : {"localhost", "127.0.0.1", "[::1]"}) {
        allowOrigin("https://" + std::string(host) + ":" + port);
    }
}

RestServer::~RestServer() = default;

void RestServer::addRoute(const std::string& path, Method method, RouteHandler handler) {
    routeOf(path, true).handlers[methodName(method)] = std::move(handler);
}

void RestServer::addPatternRoute(const std::string& pattern, Method method, RouteHandler handler) {
    routeOf(pattern, false).handlers[methodName(method)] = std::move(handler);
}

RestServer::Route& RestServer::routeOf(const std::string& text, bool literal) {
    auto route = routes.find(text);
    if (route == routes.end()) {
        route = routes.emplace(text, Route{literal ? std::regex() : std::regex(text), literal, {}})
                    .first;
    }
    return route->second;
}

void RestServer::allowOrigin(const std::string& origin) {
    originPolicy.allowOrigin(origin);
}

void RestServer::allowCrossSiteNavigation(const std::string& path) {
    originPolicy.allowCrossSiteNavigation(path);
}

void RestServer::handleRequest(std::shared_ptr<HttpRequest> request,
                               std::shared_ptr<HttpResponse> response) {
    logInfoLater("REST Request: " + request->method + " " + escapeForLog(request->path));
    writeLogAfterAnswer();
    checkCaller(*request, *response);
    if (request->method == "OPTIONS") {
        answerPreflight(*request, *response);
        return;
    }
    const MethodHandlers* handlers = findRoute(request->path);
    if (handlers == nullptr) {
        throw notFound();
    }
    // A method the route lacks is a bad request, not 405: web clients rely on this answer.
    const auto handler = handlers->find(request->method);
    if (handler == handlers->end()) {
        throw badRequest();
    }
    checkContentType(*request);
    auto restRequest = std::make_shared<RestRequest>(*request);
    auto restResponse = std::make_shared<RestResponse>(*response);
    handler->second(restRequest, restResponse);
    restResponse->send();
    response->headers["Content-Type"] = restResponse->contentType();
}

void RestServer::writeLogAfterAnswer() {
    // The answer is written before the event loop turns to what is posted now; when requests
    // come faster than that, one write of the file serves several. Lines logged by the
    // handler are written at once, and the waiting ones before them.
    if (!logFlushPosted) {
        logFlushPosted = true;
        boost::asio::post(ioContext, [this] {
            logFlushPosted = false;
            flushLog();
        });
    }
}

const RestServer::MethodHandlers* RestServer::findRoute(const std::string& path) const {
    const auto named = routes.find(path);
    if (named != routes.end() && named->second.literal) {
        return &named->second.handlers;
    }
    for (const auto& route : routes) {
        if (!route.second.literal && std::regex_match(path, route.second.pattern)) {
            return &route.second.handlers;
        }
    }
    return nullptr;
}

void RestServer::answerPreflight(const HttpRequest& request, HttpResponse& response) const {
    if (request.path == "*") {
        response.headers["Allow"] = "GET,HEAD,POST,PUT,DELETE,OPTIONS";
        return;
    }
    const MethodHandlers* handlers = findRoute(request.path);
    if (handlers == nullptr) {
        throw notFound();
    }
    std::string allowed;
    for (const auto& handler : *handlers) {
        allowed += handler.first + ",";
    }
    response.headers["Allow"] = allowed + "OPTIONS";
    // A browser asks this before a public site's page may call a program on the machine.
    const auto privateNetwork = request.headers.find("Access-Control-Request-Private-Network");
    if (privateNetwork != request.headers.end() && privateNetwork->second == "true") {
        response.headers["Access-Control-Allow-Private-Network"] = "true";
    }
}

void RestServer::checkCaller(const HttpRequest& request, HttpResponse& response) const {
    const std::string refusal = originPolicy.refusal(request);
    if (refusal.empty()) {
        return;
    }
    response.headers.erase("Access-Control-Allow-Origin");
    response.headers.erase("Access-Control-Allow-Headers");
    throw RestException(403, "Forbidden", exceptionBody(refusal));
}

void RestServer::prepareResponse(std::shared_ptr<HttpResponse> response) {
    response->headers["Connection"] = "close";
    response->headers["Access-Control-Allow-Headers"] =
        "Origin, X-Requested-With, Content-Type, Accept, X-UserCulture";
    response->headers["Access-Control-Allow-Origin"] = "*";
    response->headers["Server"] = "Trivane Ledvik printer proxy";
}

void RestServer::onHttpException(const HttpException& exception,
                                 std::shared_ptr<HttpResponse> response) {
    const auto* restException = dynamic_cast<const RestException*>(&exception);
    answerWithJson(*response, exception.status, exception.message,
                   restException != nullptr ? restException->body
                                            : exceptionBody(exception.message));
}

void RestServer::onStdException(const std::exception& exception,
                                std::shared_ptr<HttpResponse> response) {
    answerWithJson(*response, 500, "Internal Server Error", exceptionBody(exception.what()));
}

void RestServer::onUnknownException(std::shared_ptr<HttpResponse> response) {
    answerWithJson(*response, 500, "Internal Server Error", exceptionBody("Internal Server Error"));
}
