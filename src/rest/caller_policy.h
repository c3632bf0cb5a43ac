// Who may call the program, decided for every request before any handler runs: the
// program's own page, the web application and the origins the access settings allow, and
// the workstation's own tools. What each route answers decides whom it serves (RouteKind).
#ifndef REST_CALLER_POLICY_H
#define REST_CALLER_POLICY_H

#include "transport/http_request.h"
#include <string>
#include <unordered_set>

// The origin of an address as a browser writes it in the "Origin" header: scheme and host
// in lower case, the port only when it is not the scheme's default, no path
// ("HTTPS://Shop.example:443/app/" gives "https://shop.example"). "*" stays "*".
std::string canonicalOrigin(const std::string& address);

enum class RouteKind {
    // A REST route: served to the allowed origins (with CORS permission), to the program's
    // own page and to tools that send no browser headers. A link, a bookmark or an address
    // typed into the browser is none of them: such a request may have come from a mail.
    Route,
    // A REST route that makes a fiscal record or changes the program's state: like Route, but
    // a request without "Origin" and fetch metadata is refused when it carries what a browser
    // or a mail program sends of its own accord (an old browser's image, a mail's picture).
    Action,
    // A route that a link may also open, from any site (a top-level navigation by GET).
    NavigationTarget,
    // The program's own page and its files: served to the page itself, to tools and to
    // top-level navigations from anywhere; no other page may read or embed them, not even
    // the allowed origins' pages. The only answers a browser may prefetch or prerender.
    Page,
    // The page's data ("/status"): like the page, but opened only by the user (a typed
    // address, a bookmark), not by a link of another site.
    PageData,
};

class CallerPolicy {
public:
    // The program's own origins and host names are those on `port`.
    explicit CallerPolicy(unsigned short port);

    // An address or origin, made canonical; "*" allows every origin.
    void allowOrigin(const std::string& origin);
    // A further name of this machine that the "Host" header may carry: the name other
    // machines call it by, when they may call it.
    void allowHostName(const std::string& name);

    // Throws Refusal: 421 when the "Host" is none of the program's names (another site's
    // name made to lead to this computer), 403 for a caller that a route of `kind` does not
    // serve. Requests without a "Host" (HTTP/1.0 clients) and without browser headers come
    // from the workstation's tools and are served, unless their "Referer" names an origin
    // that is not allowed, or they are asked of an Action route by a browser or mail program
    // (see RouteKind): browsers without fetch metadata send no more than that.
    void check(const HttpRequest& request, RouteKind kind) const;

private:
    void checkHost(const HttpRequest& request) const;
    bool isOwnHost(const std::string& name, const HttpRequest& request) const;
    // Of a request that names `origin` ("Origin", or the "Referer" of an old browser).
    void checkOrigin(const std::string& origin, const HttpRequest& request, RouteKind kind) const;
    bool allowed(const std::string& origin) const;
    // Of a request without "Origin" and fetch metadata.
    void checkUnmarkedRequest(const HttpRequest& request, RouteKind kind) const;

    const std::string port;
    std::unordered_set<std::string> ownOrigins;
    std::unordered_set<std::string> hostNames;
    std::unordered_set<std::string> origins;
    bool anyOrigin = false;
};

#endif
