#include "service/access_settings.h"

#include "service/configuration.h"
#include <boost/filesystem/fstream.hpp>
#include <boost/filesystem/operations.hpp>
#include <boost/log/trivial.hpp>
#include <json/reader.h>
#include <stdexcept>

namespace {

const char* const fileName = "access.json";

// Ends reading a malformed file; what() says what is wrong with it.
class Malformed : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

bool isOrigin(const Json::Value& entry) {
    if (!entry.isString()) {
        return false;
    }
    const std::string text = entry.asString();
    return text == "*" || text.compare(0, 7, "http://") == 0 || text.compare(0, 8, "https://") == 0;
}

std::vector<std::string> readOrigins(const Json::Value& list) {
    if (!list.isArray()) {
        throw Malformed("\"allowedOrigins\" is not a list");
    }
    std::vector<std::string> origins;
    for (const Json::Value& entry : list) {
        if (!isOrigin(entry)) {
            throw Malformed("\"allowedOrigins\" holds " +
                            (entry.isString() ? "\"" + entry.asString() + "\"" : "a value") +
                            ", which is not an origin such as \"https://shop.example\"");
        }
        origins.push_back(entry.asString());
    }
    return origins;
}

AccessSettings readSettings(std::istream& file) {
    Json::Value root;
    if (!Json::Reader().parse(file, root, false)) {
        throw Malformed("not JSON");
    }
    if (!root.isObject()) {
        throw Malformed("not a JSON object");
    }
    AccessSettings settings;
    for (const std::string& key : root.getMemberNames()) {
        if (key == "allowedOrigins") {
            settings.allowedOrigins = readOrigins(root[key]);
        } else if (key == "listenOnAllAddresses" && root[key].isBool()) {
            settings.listenOnAllAddresses = root[key].asBool();
        } else {
            throw Malformed("unknown or mistyped key \"" + key + "\"");
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
    BOOST_LOG_TRIVIAL(info) << "Reading access settings...";
    boost::filesystem::path file;
    try {
        file = configurationFolder() / fileName;
    } catch (const std::runtime_error& error) {
        BOOST_LOG_TRIVIAL(error) << "Access settings not read (" << error.what()
                                 << "); the defaults apply";
        return AccessSettings();
    }
    // A folder that cannot be looked into holds no settings either; the defaults are safe.
    boost::system::error_code unreadable;
    if (!boost::filesystem::exists(file, unreadable)) {
        BOOST_LOG_TRIVIAL(info) << "No access settings in " << file.string()
                                << "; the defaults apply";
        return AccessSettings();
    }
    boost::filesystem::ifstream stream(file, std::ios::binary);
    if (!stream.is_open()) {
        BOOST_LOG_TRIVIAL(error) << "Access settings file " << file.string()
                                 << " could not be opened; the defaults apply";
        return AccessSettings();
    }
    try {
        const AccessSettings settings = readSettings(stream);
        logSettings(settings);
        return settings;
    } catch (const Malformed& error) {
        BOOST_LOG_TRIVIAL(error) << "Access settings file " << file.string() << " is malformed ("
                                 << error.what() << "); the defaults apply";
        return AccessSettings();
    }
}
