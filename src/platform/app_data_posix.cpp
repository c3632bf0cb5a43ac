#include "platform/app_data.h"

#include <boost/filesystem/operations.hpp>
#include <cstdlib>
#include <stdexcept>

namespace platform {

namespace {

// Relative values are ignored, as the XDG base-directory rules ask.
bool usable(const char* value) {
    return value != nullptr && boost::filesystem::path(value).is_absolute();
}

} // namespace

boost::filesystem::path localAppDataFolder() {
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    if (usable(dataHome)) {
        return dataHome;
    }
    const char* home = std::getenv("HOME");
    if (usable(home)) {
        return boost::filesystem::path(home) / ".local" / "share";
    }
    throw UnknownDataFolder("neither XDG_DATA_HOME nor HOME names the local data folder");
}

bool createDirectory(const boost::filesystem::path& folder) {
    boost::system::error_code error;
    boost::filesystem::create_directory(folder, error);
    return !error;
}

// Linux file names are bytes; the program's folders are named in UTF-8.
std::string utf8Name(const boost::filesystem::path& folder) {
    return folder.string();
}

} // namespace platform
