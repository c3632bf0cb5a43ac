#include "rest/origin_policy.h"

#include "logging/log_text.h"
#include <algorithm>
#include <cctype>

namespace {

std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool endsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string headerValue(const HttpRequest& request, const char* name) {
    const auto found = request.headers.find(name);
    return found == request.headers.end() ? std::string() : found->second;
}

bool fromAnotherSite(const std::string& fetchSite) {
    return fetchSite == "cross-site" || fetchSite == "same-site";
}

} // namespace

std::string canonicalOrigin(const std::string& address) {
    if (address == "*") {
        return address;
    }
    const std::size_t schemeEnd = address.find("://");
    const std::size_t pathStart =
        schemeEnd == std::string::npos ? std::string::npos : address.find('/', schemeEnd + 3);
    std::string origin = lowerCase(address.substr(0, pathStart));
    if ((origin.compare(0, 8, "https://") == 0 && endsWith(origin, ":443")) ||
        (origin.compare(0, 7, "http://") == 0 && endsWith(origin, ":80"))) {
        origin.erase(origin.rfind(':'));
    }
    return origin;
}

void OriginPolicy::allowOrigin(const std::string& origin) {
    const std::string canonical = canonicalOrigin(origin);
    if (canonical == "*") {
        anyOrigin = true;
    } else {
        origins.insert(canonical);
    }
}

void OriginPolicy::allowCrossSiteNavigation(const std::string& path) {
    navigablePaths.insert(path);
}

std::string OriginPolicy::refusal(const HttpRequest& request) const {
    const auto origin = request.headers.find("Origin");
    if (origin != request.headers.end()) {
        if (anyOrigin || origins.count(origin->second) > 0) {
            return "";
        }
        return "Requests from the origin " + escapeForLog(origin->second) +
               " are refused. To allow that origin, add it to \"allowedOrigins\" in "
               "access.json beside config.json and restart the program.";
    }
    if (!fromAnotherSite(headerValue(request, "Sec-Fetch-Site"))) {
        return "";
    }
    if (headerValue(request, "Sec-Fetch-Mode") == "navigate" && request.method == "GET" &&
        navigablePaths.count(request.path) > 0) {
        return "";
    }
    return "Refused a request from a page of another site that did not name its origin (an "
           "image, script, form or link) for " +
           escapeForLog(request.path) +
           ". Only calls from allowed origins are served; an origin is allowed by adding it to "
           "\"allowedOrigins\" in access.json beside config.json.";
}
