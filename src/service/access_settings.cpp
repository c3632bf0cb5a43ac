#include "service/access_settings.h"

#include "rest/caller_policy.h"
#include "service/configuration.h"
#include <boost/filesystem/fstream.hpp>
#include <boost/filesystem/operations.hpp>
#include <boost/log/trivial.hpp>
#include <cctype>
#include <json/reader.h>
#include <memory>
#include <stdexcept>

namespace {

const char* const fileName = "access.json";
// A handful of origins fits many times over; a file linked to a device (/dev/zero) or grown
// huge must not take the program's memory.
constexpr std::size_t largestFile = 64 * 1024;

// Ends reading a malformed file; what() says what is wrong with it.
class Malformed : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

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

std::string readText(std::istream& file) {
    std::string text(largestFile + 1, '\0');
    file.read(&text[0], static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(file.gcount()));
    if (text.size() > largestFile) {
        throw Malformed("larger than 64 KiB");
    }
    return text;
}

// The reader's messages, each "* Line L, Column C" and the error indented on the next line.
std::string oneLine(const std::string& text) {
    std::string line;
    for (const char c : text) {
        if (!std::isspace(static_cast<unsigned char>(c))) {
            line.push_back(c);
        } else if (!line.empty() && line.back() != ' ') {
            line.push_back(' ');
        }
    }
    return line.substr(0, line.find_last_not_of(' ') + 1);
}

// As Notepad saves it (with a byte-order mark) or any editor; a key given twice is a mistake
// whose meaning nobody can tell, as is text after the object.
Json::Value parse(const std::string& text) {
    Json::CharReaderBuilder builder;
    builder["skipBom"] = true;
    builder["rejectDupKeys"] = true;
    builder["failIfExtra"] = true;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value root;
    std::string errors;
    if (!reader->parse(text.data(), text.data() + text.size(), &root, &errors)) {
        throw Malformed("not JSON: " + oneLine(errors));
    }
    return root;
}

AccessSettings readSettings(std::istream& file) {
    const Json::Value root = parse(readText(file));
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
    // A device or a pipe would never end, or never begin.
    if (!boost::filesystem::is_regular_file(file, unreadable)) {
        BOOST_LOG_TRIVIAL(error) << "Access settings file " << file.string()
                                 << " is not a regular file; the defaults apply";
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
