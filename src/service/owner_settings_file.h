// The settings files that the workstation's owner writes beside the configuration file
// ("access.json", "line.json"). The program reads each once at start and never writes it; a
// file is used whole or not at all, and any doubt about it gives the defaults, logged.
#ifndef SERVICE_OWNER_SETTINGS_FILE_H
#define SERVICE_OWNER_SETTINGS_FILE_H

#include <boost/filesystem/path.hpp>
#include <cstddef>
#include <functional>
#include <json/value.h>
#include <stdexcept>
#include <string>

// Thrown by a file's parser for a value it cannot take; what() says what is wrong.
class MalformedSettings : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Thrown by readSettingsFile when there is no such file.
class MissingSettingsFile : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Thrown by readSettingsFile for a file that is there but not read; what() says why ("is not
// a regular file", "could not be opened", "is larger than 64 KiB").
class UnreadableSettingsFile : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The whole text of a settings file, read only from a regular file of at most `largest`
// bytes: a link to a device (/dev/zero) or a pipe would never end, or never begin, and a
// file grown huge must not take the program's memory.
std::string readSettingsFile(const boost::filesystem::path& file, std::size_t largest);

// Throws MalformedSettings for a key the parser does not know or whose value is of the
// wrong kind.
[[noreturn]] void refuseKey(const std::string& key);

// A few settings fit many times over.
constexpr std::size_t largestSettingsFile = 64 * 1024;

// Hands the JSON object of `fileName` beside the configuration file to `parse`, which
// throws MalformedSettings for anything it cannot take. False when the defaults apply: no
// data folder, no file, or one that is not a regular file, is larger than `largest` bytes,
// cannot be opened or is malformed; each is logged, naming the settings as `subject` says
// ("access settings"). Never throws otherwise.
bool readOwnerSettings(const std::string& fileName, const std::string& subject,
                       const std::function<void(const Json::Value&)>& parse,
                       std::size_t largest = largestSettingsFile);

#endif
