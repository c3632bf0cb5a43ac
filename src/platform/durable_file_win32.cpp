#include "platform/durable_file.h"

#include <algorithm>
#include <boost/filesystem/operations.hpp>
#include <windows.h>

namespace platform {

namespace {

std::string reason(const boost::filesystem::path& file, const char* what,
                   DWORD error = GetLastError()) {
    return std::string(what) + " " + file.string() + ": system error " + std::to_string(error);
}

bool writeAll(HANDLE handle, const std::string& content) {
    std::size_t written = 0;
    while (written < content.size()) {
        const DWORD chunk =
            static_cast<DWORD>(std::min<std::size_t>(content.size() - written, 1u << 30));
        DWORD count = 0;
        if (!WriteFile(handle, content.data() + written, chunk, &count, nullptr)) {
            return false;
        }
        written += count;
    }
    return true;
}

} // namespace

// Windows has no flush of a folder; MOVEFILE_WRITE_THROUGH returns once the rename is on the
// disk. The access is the folder's (the user's profile or the install folder's own list).
void writeFileToDisk(const boost::filesystem::path& file, const std::string& content, FileAccess) {
    const HANDLE handle = CreateFileW(file.wstring().c_str(), GENERIC_WRITE, 0, nullptr,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        throw FileWriteError(FileWriteError::Step::Open, reason(file, "could not open"));
    }
    DWORD error = writeAll(handle, content) && FlushFileBuffers(handle) ? 0 : GetLastError();
    if (!CloseHandle(handle) && error == 0) {
        error = GetLastError();
    }
    if (error != 0) {
        boost::system::error_code ignored; // the error below says what went wrong
        boost::filesystem::remove(file, ignored);
        throw FileWriteError(FileWriteError::Step::Write, reason(file, "could not write", error));
    }
}

void renameOnDisk(const boost::filesystem::path& from, const boost::filesystem::path& to) {
    if (!MoveFileExW(from.wstring().c_str(), to.wstring().c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        throw FileWriteError(FileWriteError::Step::Replace, reason(to, "could not replace"));
    }
}

} // namespace platform
