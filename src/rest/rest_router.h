#ifndef REST_REST_ROUTER_H
#define REST_REST_ROUTER_H

#include "rest/caller_policy.h"
#include "rest/rest_exception.h"
#include "rest/rest_request.h"
#include "rest/rest_response.h"
#include "transport/http_handler.h"
#include "transport/http_server.h"
#include <boost/asio/any_io_executor.hpp>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

// A route that answers when it returns: with the response's JSON, or by throwing.
using RouteHandler =
    std::function<void(std::shared_ptr<RestRequest>, std::shared_ptr<RestResponse>)>;
// Called once, from any thread, when a route that answers later has its answer: null once
// the response holds it, else the failure to answer instead (as a RouteHandler would throw).
using RouteAnswer = std::function<void(std::exception_ptr failure)>;
// A route that may answer later, through `answer`; or throws at once.
using LaterRouteHandler = std::function<void(std::shared_ptr<RestRequest>,
                                             std::shared_ptr<RestResponse>, RouteAnswer answer)>;

// The methods a route may have; "OPTIONS" is answered for every route by the server itself.
enum class Method { GET = 0, POST = 1 };

// "GET", "POST"; empty for any other value.
std::string methodName(Method method);

// A JSON REST framework for one browser client on another origin, the handler of an
// HttpServer: routes by path and method, who may call each (CallerPolicy),
// CORS headers and pre-flight answers, JSON errors. Its routes run on the server's event
// loop; one that answers later hands its work elsewhere and answers from there.
class RestRouter : public HttpHandler {
public:
    // Answers every request of `server` from now on. Serves the server's own origins
    // (https://localhost, 127.0.0.1 and [::1] on its port), so that pages it serves itself
    // may call it; with the server's listenOnAllAddresses, also requests naming this machine
    // by its name or address.
    explicit RestRouter(HttpServer& server);
    ~RestRouter() override;

    // A route for exactly `path`. `kind` says whom the route serves; the same for every
    // method of one path. Routes of the page's kinds answer without CORS permission and may
    // not be framed or kept.
    void addRoute(const std::string& path, Method method, RouteHandler handler,
                  RouteKind kind = RouteKind::Route);
    void addRoute(const std::string& path, Method method, LaterRouteHandler handler,
                  RouteKind kind = RouteKind::Route);
    // Each route's path with the names of its methods in ascending order: what this router
    // answers, for whoever describes it.
    std::map<std::string, std::vector<std::string>> routeTable() const;
    // See CallerPolicy; like routes, set while the service is built.
    void allowOrigin(const std::string& origin);

    void prepare(HttpResponse& response) override;
    // Refuses a caller the policy refuses for the route's kind, before the body is read; a
    // pre-flight follows the decision of the request it asks about.
    void admit(const HttpRequest& request, HttpResponse& response) override;
    void handle(std::shared_ptr<HttpRequest> request, std::shared_ptr<HttpResponse> response,
                HttpReply answer) override;
    // Every failure as a JSON body: {"exception": ...}, or a RestException's own body.
    void answerFailure(std::exception_ptr failure, HttpResponse& response) override;

private:
    using MethodHandlers = std::map<std::string, LaterRouteHandler>;
    struct Route {
        RouteKind kind = RouteKind::Route;
        MethodHandlers handlers;
    };

    // The request's log line waits for its answer, unless the handler logs a line first.
    void writeLogAfterAnswer();
    // The route of the path; null for none.
    const Route* findRoute(const std::string& path) const;
    void answerPreflight(const HttpRequest& request, HttpResponse& response) const;
    // Other machines call this one by its name when they may call it at all.
    void allowMachineNames();

    boost::asio::any_io_executor eventLoop;
    CallerPolicy callerPolicy;
    // By path, so that the methods of one path share one entry.
    std::unordered_map<std::string, Route> routes;
    bool logFlushPosted = false;
};

#endif
