#include "service/own_page.h"
#include <algorithm>
#include <cctype>

namespace {

using Request = std::shared_ptr<RestRequest>;
using Response = std::shared_ptr<RestResponse>;

bool sameName(const std::string& left, const std::string& right) {
    return std::equal(
        left.begin(), left.end(), right.begin(), right.end(),
        [](unsigned char a, unsigned char b) { return std::tolower(a) == std::tolower(b); });
}

// Header names are case-insensitive; a browser's casing must not decide what is refused.
const std::string* findHeader(const HttpRequest& request, const std::string& name) {
    for (const auto& header : request.headers) {
        if (sameName(header.first, name)) {
            return &header.second;
        }
    }
    return nullptr;
}

std::string headerOrEmpty(const HttpRequest& request, const std::string& name) {
    const std::string* value = findHeader(request, name);
    return value != nullptr ? *value : std::string();
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
    const std::string* origin = findHeader(request, "Origin");
    const bool allowed =
        (origin == nullptr || isOwnOrigin(*origin, port)) && isNavigationOrOwn(request);
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
