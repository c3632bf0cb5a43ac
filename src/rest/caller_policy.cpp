#include "rest/caller_policy.h"

#include "logging/log_text.h"
#include "transport/http_exception.h"
#include <algorithm>
#include <cctype>

namespace {

const char* const pageOnly = "Forbidden: the program's page answers only itself";
const char* const otherSites = "requests of other sites' pages that name no origin";
const char* const fromTheUser = "links, bookmarks and typed addresses";

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

bool isPage(RouteKind kind) {
    return kind == RouteKind::Page || kind == RouteKind::PageData;
}

// Chrome's address bar prerenders what it expects the user to open; other browsers prefetch
// links that a page marks.
bool isPrefetch(const HttpRequest& request) {
    return headerValue(request, "Sec-Purpose").find("prefetch") != std::string::npos ||
           headerValue(request, "Purpose").find("prefetch") != std::string::npos;
}

// What a browser or a mail program sends of its own accord, when it fetches a page's image or
// opens a link; a script or curl sends neither unless told to.
bool sentByBrowser(const HttpRequest& request) {
    const std::string accept = lowerCase(headerValue(request, "Accept"));
    return headerValue(request, "User-Agent").compare(0, 8, "Mozilla/") == 0 ||
           accept.find("image/") != std::string::npos || accept.find("html") != std::string::npos;
}

// What the browser says of where a request comes from and what it is for.
struct FetchMetadata {
    explicit FetchMetadata(const HttpRequest& request)
        : site(headerValue(request, "Sec-Fetch-Site")),
          mode(headerValue(request, "Sec-Fetch-Mode")),
          destination(headerValue(request, "Sec-Fetch-Dest")) {}

    bool present() const { return !site.empty() || !mode.empty() || !destination.empty(); }
    // A document opened in a tab or window, not in a frame.
    bool topLevelNavigation(const HttpRequest& request) const {
        return mode == "navigate" && (destination.empty() || destination == "document") &&
               request.method == "GET";
    }

    std::string site;
    std::string mode;
    std::string destination;
};

[[noreturn]] void refuse(int status, const HttpRequest& request, const std::string& caller,
                         const std::string& explanation) {
    throw Refusal(status, status == 421 ? "Misdirected Request" : "Forbidden", caller, explanation,
                  "Refused " + request.method + " " + escapeForLog(request.path) + " (" +
                      std::to_string(status) + "): " + explanation);
}

std::string originRefusal(const std::string& origin) {
    return "Requests from the origin " + escapeForLog(origin) +
           " are refused. To allow that origin, add it to \"allowedOrigins\" in access.json "
           "beside config.json and restart the program.";
}

std::string crossSiteRefusal(const std::string& path) {
    return "Refused a request from a page of another site that did not name its origin (an "
           "image, script, form or link) for " +
           escapeForLog(path) +
           ". Only calls from allowed origins are served; an origin is allowed by adding it to "
           "\"allowedOrigins\" in access.json beside config.json.";
}

// A request with the browser's fetch metadata that names no origin.
void checkBrowserRequest(const FetchMetadata& metadata, const HttpRequest& request, RouteKind kind,
                         const std::string& port) {
    // With the "Host" checked, the same origin is the program's own page.
    if (metadata.site == "same-origin") {
        return;
    }
    const bool byTheUser = metadata.site == "none";
    if (metadata.topLevelNavigation(request) &&
        (kind == RouteKind::Page || kind == RouteKind::NavigationTarget ||
         (kind == RouteKind::PageData && byTheUser))) {
        return;
    }
    const std::string caller = byTheUser ? fromTheUser : otherSites;
    if (isPage(kind)) {
        refuse(403, request, caller, pageOnly);
    }
    if (byTheUser) {
        refuse(403, request, caller,
               "Refused a link, bookmark or typed address for " + escapeForLog(request.path) +
                   ": it is served only to the web application's own calls, and a link may "
                   "have come in a mail or a document. The program's own page is "
                   "https://localhost:" +
                   port + "/.");
    }
    refuse(403, request, caller, crossSiteRefusal(request.path));
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

CallerPolicy::CallerPolicy(unsigned short port)
    : port(std::to_string(port)), hostNames{"localhost", "127.0.0.1", "[::1]"} {
    for (const std::string& host : hostNames) {
        ownOrigins.insert("https://" + host + ":" + this->port);
    }
}

void CallerPolicy::allowOrigin(const std::string& origin) {
    const std::string canonical = canonicalOrigin(origin);
    if (canonical == "*") {
        anyOrigin = true;
    } else {
        origins.insert(canonical);
    }
}

void CallerPolicy::allowHostName(const std::string& name) {
    hostNames.insert(lowerCase(name));
}

void CallerPolicy::check(const HttpRequest& request, RouteKind kind) const {
    checkHost(request);
    if (kind != RouteKind::Page && isPrefetch(request)) {
        refuse(403, request, "prefetches and prerenders",
               "Refused a prefetch or prerender of " + escapeForLog(request.path) +
                   ": a browser may fetch ahead only the program's own page.");
    }
    const auto origin = request.headers.find("Origin");
    if (origin != request.headers.end()) {
        checkOrigin(origin->second, request, kind);
        return;
    }
    const FetchMetadata metadata(request);
    if (metadata.present()) {
        checkBrowserRequest(metadata, request, kind, port);
        return;
    }
    // Refused as a route refuses that origin: where an old browser's page sent an image or a
    // link, only an origin not allowed at all is known to be foreign.
    checkUnmarkedRequest(request, kind);
}

void CallerPolicy::checkUnmarkedRequest(const HttpRequest& request, RouteKind kind) const {
    const std::string referer = canonicalOrigin(headerValue(request, "Referer"));
    if (!referer.empty()) {
        checkOrigin(referer, request, RouteKind::Route);
    }
    // The program's own page, in a browser too old to name its origin, calls these routes.
    if (kind == RouteKind::Action && ownOrigins.count(referer) == 0 && sentByBrowser(request)) {
        refuse(403, request, "browsers and mail programs that name no origin",
               "Refused " + request.method + " " + escapeForLog(request.path) +
                   " from a browser or mail program that named no origin (an image, a link or "
                   "a form of a page or a mail): it makes a fiscal record or changes the "
                   "printer's state, so it is served only to the web application, which names "
                   "its origin, and to the workstation's own programs. A script calls it "
                   "without a User-Agent beginning \"Mozilla/\" and without an Accept naming "
                   "images or HTML.");
    }
}

void CallerPolicy::checkHost(const HttpRequest& request) const {
    const auto host = request.headers.find("Host");
    if (host == request.headers.end()) {
        return;
    }
    const std::string value = lowerCase(host->second);
    // "[::1]:9003": the port follows the bracket of an IPv6 address, not one of its colons.
    const std::size_t nameEnd =
        value.find(':', value.compare(0, 1, "[") == 0 ? value.find(']') : 0);
    const std::string name = value.substr(0, nameEnd);
    const bool ownPort =
        nameEnd == std::string::npos || value.compare(nameEnd, std::string::npos, ":" + port) == 0;
    if (ownPort && isOwnHost(name, request)) {
        return;
    }
    refuse(421, request, "requests for other host names",
           "Refused a request for the host " + escapeForLog(host->second) +
               ": the program answers only as localhost, 127.0.0.1 or [::1] on port " + port +
               ", so that another site cannot make its own name lead to this computer.");
}

bool CallerPolicy::isOwnHost(const std::string& name, const HttpRequest& request) const {
    if (hostNames.count(name) > 0) {
        return true;
    }
    // The address the client connected to, which other machines may use.
    const boost::asio::ip::address& address = request.serverAddress;
    return !address.is_unspecified() &&
           name == (address.is_v6() ? "[" + address.to_string() + "]" : address.to_string());
}

void CallerPolicy::checkOrigin(const std::string& origin, const HttpRequest& request,
                               RouteKind kind) const {
    const std::string canonical = canonicalOrigin(origin);
    if (ownOrigins.count(canonical) > 0) {
        return;
    }
    const std::string caller = "requests from the origin " + escapeForLog(canonical);
    if (!allowed(canonical)) {
        refuse(403, request, caller, originRefusal(origin));
    }
    if (isPage(kind)) {
        refuse(403, request, caller, pageOnly);
    }
}

bool CallerPolicy::allowed(const std::string& origin) const {
    return anyOrigin || origins.count(origin) > 0;
}
