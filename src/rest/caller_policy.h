// Who may call the REST service from a browser: the origins allowed, and the paths a page
// of another site may still navigate to.
#ifndef REST_ORIGIN_POLICY_H
#define REST_ORIGIN_POLICY_H

#include "transport/http_request.h"
#include <string>
#include <unordered_set>

// The origin of an address as a browser writes it in the "Origin" header: scheme and host
// in lower case, the port only when it is not the scheme's default, no path
// ("HTTPS://Shop.example:443/app/" gives "https://shop.example"). "*" stays "*".
std::string canonicalOrigin(const std::string& address);

class OriginPolicy {
public:
    // An address or origin, made canonical; "*" allows every origin.
    void allowOrigin(const std::string& origin);
    // A top-level navigation from another site to `path` is served (a link to a page).
    void allowCrossSiteNavigation(const std::string& path);

    // Why the request must be refused; empty when it may be served. A request naming an
    // origin is served when that origin is allowed. One without an origin is served unless
    // the browser marks it as coming from another site (an image, script, form or link),
    // which only a navigation to an allowed path may. Requests without these browser
    // headers (curl, scripts) are served.
    std::string refusal(const HttpRequest& request) const;

private:
    bool anyOrigin = false;
    std::unordered_set<std::string> origins;
    std::unordered_set<std::string> navigablePaths;
};

#endif
