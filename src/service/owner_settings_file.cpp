#include "service/owner_settings_file.h"

#include "logging/log_text.h"
#include "service/configuration.h"
#include <boost/filesystem/fstream.hpp>
#include <boost/filesystem/operations.hpp>
#include <boost/log/trivial.hpp>
#include <cctype>
#include <json/reader.h>
#include <memory>

namespace {

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

// JSON has no comments, and no "/" outside its strings; the reader would skip comments
// within an object even when told not to take them.
void refuseComments(const std::string& text) {
    bool inString = false;
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (inString && text[at] == '\\') {
            ++at;
        } else if (text[at] == '"') {
            inString = !inString;
        } else if (!inString && text[at] == '/') {
            throw MalformedSettings("not JSON: a comment at byte " + std::to_string(at + 1));
        }
    }
}

// As Notepad saves it (with a byte-order mark) or any editor; a key given twice is a mistake
// whose meaning nobody can tell, as is text after the object. Comments are no JSON: a reader
// of the file could not tell whether the program sees what they surround.
Json::Value parseObject(const std::string& text) {
    Json::CharReaderBuilder builder;
    builder["skipBom"] = true;
    builder["rejectDupKeys"] = true;
    builder["failIfExtra"] = true;
    refuseComments(text);
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value root;
    std::string errors;
    if (!reader->parse(text.data(), text.data() + text.size(), &root, &errors)) {
        throw MalformedSettings("not JSON: " + escapeForLog(oneLine(errors)));
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

std::string readSettingsFile(const boost::filesystem::path& file, std::size_t largest) {
    // A folder that cannot be looked into holds no settings either.
    boost::system::error_code unreadable;
    if (!boost::filesystem::exists(file, unreadable)) {
        throw MissingSettingsFile(file.string());
    }
    if (!boost::filesystem::is_regular_file(file, unreadable)) {
        throw UnreadableSettingsFile("is not a regular file");
    }
    boost::filesystem::ifstream stream(file, std::ios::binary);
    if (!stream.is_open()) {
        throw UnreadableSettingsFile("could not be opened");
    }
    // In pieces, so that a small file costs no buffer of the largest size.
    std::string text;
    char piece[16384];
    while (stream.read(piece, sizeof piece) || stream.gcount() > 0) {
        text.append(piece, static_cast<std::size_t>(stream.gcount()));
        if (text.size() > largest) {
            throw UnreadableSettingsFile("is larger than " + std::to_string(largest / 1024) +
                                         " KiB");
        }
    }
    return text;
}

void refuseKey(const std::string& key) {
    throw MalformedSettings("unknown or mistyped key \"" + escapeForLog(key) + "\"");
}

bool readOwnerSettings(const std::string& fileName, const std::string& subject,
                       const std::function<void(const Json::Value&)>& parse, std::size_t largest) {
    BOOST_LOG_TRIVIAL(info) << "Reading " << subject << "...";
    boost::filesystem::path file;
    try {
        file = configurationFolder() / fileName;
    } catch (const std::runtime_error& error) {
        BOOST_LOG_TRIVIAL(error) << capitalised(subject) << " not read (" << error.what()
                                 << "); the defaults apply";
        return false;
    }
    const std::string named = capitalised(subject) + " file " + file.string();
    try {
        parse(parseObject(readSettingsFile(file, largest)));
        return true;
    } catch (const MissingSettingsFile&) {
        BOOST_LOG_TRIVIAL(info) << "No " << subject << " in " << file.string()
                                << "; the defaults apply";
    } catch (const UnreadableSettingsFile& error) {
        BOOST_LOG_TRIVIAL(error) << named << " " << error.what() << "; the defaults apply";
    } catch (const MalformedSettings& error) {
        BOOST_LOG_TRIVIAL(error) << named << " is malformed (" << error.what()
                                 << "); the defaults apply";
    }
    return false;
}
