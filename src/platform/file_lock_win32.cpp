#include "platform/file_lock.h"

#include <stdexcept>
#include <string>
#include <windows.h>

namespace platform {

namespace {

HANDLE native(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

} // namespace

// LockFileEx over the whole file: Windows frees it when the handle is closed or the process
// ends.
FileLock::FileLock(const boost::filesystem::path& file)
    : handle(reinterpret_cast<std::intptr_t>(
          CreateFileW(file.wstring().c_str(), GENERIC_READ | GENERIC_WRITE,
                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                      FILE_ATTRIBUTE_NORMAL, nullptr))) {
    if (native(handle) == INVALID_HANDLE_VALUE)
        throw std::runtime_error("cannot open the lock file " + file.string() + ": system error " +
                                 std::to_string(GetLastError()));
    OVERLAPPED whole{};
    if (!LockFileEx(native(handle), LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole)) {
        const DWORD error = GetLastError();
        CloseHandle(native(handle));
        throw std::runtime_error("cannot lock " + file.string() + ": system error " +
                                 std::to_string(error));
    }
}

FileLock::~FileLock() {
    CloseHandle(native(handle));
}

} // namespace platform
