#include "service/own_page.h"

namespace {

using Request = std::shared_ptr<RestRequest>;
using Response = std::shared_ptr<RestResponse>;

std::string headerOrEmpty(const HttpRequest& request, const std::string& name) {
    const auto header = request.headers.find(name);
    return header != request.headers.end() ? header->second : std::string();
}

bool isOwnOrigin(const std::string& origin, unsigned short port) {
    const std::string suffix = ":" + std::to_string(port);
    return origin == "https://localhost" + suffix || origin == "https://127.0.0.1" + suffix;
}

// The browser marks where a request comes from ("Sec-Fetch-Site") and what it is for; a
// request without these marks comes from no browser (curl, scripts) and is served.
bool isNavigationOrOwn(const HttpRequest& request) {
    const std::string site = headerOrEmpty(request, "Sec-Fetch-Site");
    if (site.empty() || site == "same-origin" || site == "none") {
        return true;
    }
    return headerOrEmpty(request, "Sec-Fetch-Mode") == "navigate" &&
           headerOrEmpty(request, "Sec-Fetch-Dest") == "document";
}

// The REST layer logs the refusal with its body.
void checkCaller(const HttpRequest& request, unsigned short port) {
    const auto origin = request.headers.find("Origin");
    const bool allowed = (origin == request.headers.end() || isOwnOrigin(origin->second, port)) &&
                         isNavigationOrOwn(request);
    if (allowed) {
        return;
    }
    Json::Value body(Json::objectValue);
    body["exception"] = "Forbidden: the program's page answers only itself";
    throw RestException(403, "Forbidden", body);
}

void setPageHeaders(HttpResponse& response) {
    response.headers.erase("Access-Control-Allow-Origin");
    response.headers.erase("Access-Control-Allow-Headers");
    response.headers["Content-Security-Policy"] = "default-src 'self'; frame-ancestors 'none'";
    response.headers["X-Frame-Options"] = "DENY";
    response.headers["X-Content-Type-Options"] = "nosniff";
    response.headers["Referrer-Policy"] = "no-referrer";
    response.headers["Cache-Control"] = "no-store";
}

} // namespace

RouteHandler pageDocumentHandler(const PageDocument& document) {
    return [&document](Request, Response response) {
        response->setDocument(document.contentType, document.text);
    };
}

RouteHandler ownPageOnly(RouteHandler handler, unsigned short port) {
    return [handler, port](Request request, Response response) {
        setPageHeaders(*response->httpResponse);
        checkCaller(*request->httpRequest, port);
        handler(request, response);
    };
}
