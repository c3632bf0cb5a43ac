#include "service/access_settings.h"

#include "rest/caller_policy.h"
#include "service/owner_settings_file.h"
#include <boost/log/trivial.hpp>

namespace {

bool isOrigin(const Json::Value& entry) {
    if (!entry.isString()) {
        return false;
    }
    // "HTTPS://ERP.Example.COM" names the same origin as "https://erp.example.com".
    const std::string origin = canonicalOrigin(entry.asString());
    return origin == "*" || origin.compare(0, 7, "http://") == 0 ||
           origin.compare(0, 8, "https://") == 0;
}

std::vector<std::string> readOrigins(const Json::Value& list) {
    if (!list.isArray()) {
        throw MalformedSettings("\"allowedOrigins\" is not a list");
    }
    std::vector<std::string> origins;
    for (const Json::Value& entry : list) {
        if (!isOrigin(entry)) {
            throw MalformedSettings(
                "\"allowedOrigins\" holds " +
                (entry.isString() ? "\"" + entry.asString() + "\"" : "a value") +
                ", which is not an origin such as \"https://shop.example\"");
        }
        origins.push_back(entry.asString());
    }
    return origins;
}

AccessSettings parseSettings(const Json::Value& root) {
    AccessSettings settings;
    for (const std::string& key : root.getMemberNames()) {
        if (key == "allowedOrigins") {
            settings.allowedOrigins = readOrigins(root[key]);
        } else if (key == "listenOnAllAddresses" && root[key].isBool()) {
            settings.listenOnAllAddresses = root[key].asBool();
        } else {
            refuseKey(key);
        }
    }
    return settings;
}

void logSettings(const AccessSettings& settings) {
    std::string origins;
    for (const std::string& origin : settings.allowedOrigins) {
        origins += (origins.empty() ? "" : ", ") + origin;
    }
    BOOST_LOG_TRIVIAL(info) << "Access settings: allowed origins besides the web application: "
                            << (origins.empty() ? "none" : origins)
                            << "; listening on every address: "
                            << (settings.listenOnAllAddresses ? "yes" : "no");
}

} // namespace

AccessSettings readAccessSettings() {
    AccessSettings settings;
    if (readOwnerSettings("access.json", "access settings", [&settings](const Json::Value& root) {
            settings = parseSettings(root);
        })) {
        logSettings(settings);
    }
    return settings;
}

ServerSettings listeningAs(const AccessSettings& access, ServerSettings settings) {
    settings.listenOnAllAddresses = access.listenOnAllAddresses;
    return settings;
}
