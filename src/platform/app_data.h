// The user's local application-data folder and directory creation.
#ifndef PLATFORM_APP_DATA_H
#define PLATFORM_APP_DATA_H

#include <boost/filesystem/path.hpp>
#include <stdexcept>
#include <string>

namespace platform {

// The local application-data folder cannot be resolved; what() says what is missing.
class UnknownDataFolder : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The local application-data folder: FOLDERID_LocalAppData on Windows; on Linux
// $XDG_DATA_HOME, or $HOME/.local/share when it is unset. Throws UnknownDataFolder when
// neither can be resolved.
boost::filesystem::path localAppDataFolder();

// The program's own folder in it, for its configuration, its logs and (on Linux without
// $XDG_RUNTIME_DIR) its instance lock.
inline boost::filesystem::path programDataFolder() {
    return localAppDataFolder() / "TrivaneFiscalProxy";
}

// Creates one folder (not its parents). True when it was created or already exists.
bool createDirectory(const boost::filesystem::path& folder);

// The folder's name as UTF-8 text, as JSON answers carry it.
std::string utf8Name(const boost::filesystem::path& folder);

} // namespace platform

#endif
