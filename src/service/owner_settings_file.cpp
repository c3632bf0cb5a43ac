#include "service/owner_settings_file.h"

#include "service/configuration.h"
#include <boost/filesystem/fstream.hpp>
#include <boost/filesystem/operations.hpp>
#include <boost/log/trivial.hpp>
#include <cctype>
#include <json/reader.h>
#include <memory>

namespace {

// A few settings fit many times over; a file linked to a device (/dev/zero) or grown huge
// must not take the program's memory.
constexpr std::size_t largestFile = 64 * 1024;

std::string readText(std::istream& file) {
    std::string text(largestFile + 1, '\0');
    file.read(&text[0], static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(file.gcount()));
    if (text.size() > largestFile) {
        throw MalformedSettings("larger than 64 KiB");
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
Json::Value parseObject(const std::string& text) {
    Json::CharReaderBuilder builder;
    builder["skipBom"] = true;
    builder["rejectDupKeys"] = true;
    builder["failIfExtra"] = true;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value root;
    std::string errors;
    if (!reader->parse(text.data(), text.data() + text.size(), &root, &errors)) {
        throw MalformedSettings("not JSON: " + oneLine(errors));
    }
    if (!root.isObject()) {
        throw MalformedSettings("not a JSON object");
    }
    return root;
}

// The subject at the start of a line.
std::string capitalised(std::string subject) {
    if (!subject.empty()) {
        subject[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(subject[0])));
    }
    return subject;
}

} // namespace

void refuseKey(const std::string& key) {
    throw MalformedSettings("unknown or mistyped key \"" + key + "\"");
}

bool readOwnerSettings(const std::string& fileName, const std::string& subject,
                       const std::function<void(const Json::Value&)>& parse) {
    BOOST_LOG_TRIVIAL(info) << "Reading " << subject << "...";
    boost::filesystem::path file;
    try {
        file = configurationFolder() / fileName;
    } catch (const std::runtime_error& error) {
        BOOST_LOG_TRIVIAL(error) << capitalised(subject) << " not read (" << error.what()
                                 << "); the defaults apply";
        return false;
    }
    // A folder that cannot be looked into holds no settings either; the defaults are safe.
    boost::system::error_code unreadable;
    if (!boost::filesystem::exists(file, unreadable)) {
        BOOST_LOG_TRIVIAL(info) << "No " << subject << " in " << file.string()
                                << "; the defaults apply";
        return false;
    }
    const std::string named = capitalised(subject) + " file " + file.string();
    // A device or a pipe would never end, or never begin.
    if (!boost::filesystem::is_regular_file(file, unreadable)) {
        BOOST_LOG_TRIVIAL(error) << named << " is not a regular file; the defaults apply";
        return false;
    }
    boost::filesystem::ifstream stream(file, std::ios::binary);
    if (!stream.is_open()) {
        BOOST_LOG_TRIVIAL(error) << named << " could not be opened; the defaults apply";
        return false;
    }
    try {
        parse(parseObject(readText(stream)));
        return true;
    } catch (const MalformedSettings& error) {
        BOOST_LOG_TRIVIAL(error) << named << " is malformed (" << error.what()
                                 << "); the defaults apply";
        return false;
    }
}
