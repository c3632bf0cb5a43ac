#include "service/access_settings.h"

#include "logging/log_text.h"
#include "rest/caller_policy.h"
#include "service/owner_settings_file.h"
#include <algorithm>
#include <boost/log/trivial.hpp>

namespace {

bool hasControlCharacter(const std::string& text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7f;
    });
}

bool isOrigin(const Json::Value& entry) {
    if (!entry.isString() || hasControlCharacter(entry.asString())) {
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
                (entry.isString() ? "\"" + escapeForLog(entry.asString()) + "\"" : "a value") +
                ", which is not an origin such as \"https://shop.example\"");
        }
        origins.push_back(entry.asString());
    }
    return origins;
}

// A page served over http:// proves nothing of who serves it: on "localhost" any account of
// the computer may listen on its port. Such origins are kept only when the file says so.
std::vector<std::string> withoutHttpOrigins(const std::vector<std::string>& origins) {
    std::vector<std::string> kept;
    for (const std::string& origin : origins) {
        if (canonicalOrigin(origin).compare(0, 7, "http://") != 0) {
            kept.push_back(origin);
            continue;
        }
        BOOST_LOG_TRIVIAL(error) << "Access settings: the origin " << escapeForLog(origin)
                                 << " in \"allowedOrigins\" is refused: an http:// page may be "
                                    "served by anyone, another account of this computer too; "
                                    "\"allowHttpOrigins\": true in access.json allows it";
    }
    return kept;
}

AccessSettings parseSettings(const Json::Value& root) {
    AccessSettings settings;
    bool allowHttpOrigins = false;
    for (const std::string& key : root.getMemberNames()) {
        if (key == "allowedOrigins") {
            settings.allowedOrigins = readOrigins(root[key]);
        } else if (key == "listenOnAllAddresses" && root[key].isBool()) {
            settings.listenOnAllAddresses = root[key].asBool();
        } else if (key == "allowHttpOrigins" && root[key].isBool()) {
            allowHttpOrigins = root[key].asBool();
        } else {
            refuseKey(key);
        }
    }
    if (!allowHttpOrigins) {
        settings.allowedOrigins = withoutHttpOrigins(settings.allowedOrigins);
    }
    return settings;
}

void logSettings(const AccessSettings& settings) {
    std::string origins;
    for (const std::string& origin : settings.allowedOrigins) {
        origins += (origins.empty() ? "" : ", ") + escapeForLog(origin);
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
