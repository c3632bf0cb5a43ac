#include "platform/app_data.h"
#include "platform/wide_text_win32.h"

#include <shlobj.h>
#include <stdexcept>
#include <windows.h>

namespace platform {

boost::filesystem::path localAppDataFolder() {
    PWSTR folder = nullptr;
    const HRESULT result = SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &folder);
    if (FAILED(result)) {
        CoTaskMemFree(folder);
        throw UnknownDataFolder("the local application-data folder is unknown");
    }
    const boost::filesystem::path path(folder);
    CoTaskMemFree(folder);
    return path;
}

bool createDirectory(const boost::filesystem::path& folder) {
    return CreateDirectoryW(folder.wstring().c_str(), nullptr) != 0 ||
           GetLastError() == ERROR_ALREADY_EXISTS;
}

std::string utf8Name(const boost::filesystem::path& folder) {
    return narrow(folder.wstring());
}

} // namespace platform
