#include "platform/single_instance.h"

#include "platform/wide_text_win32.h"

#include <system_error>
#include <windows.h>

namespace platform {

SingleInstanceLock::SingleInstanceLock(std::string name) : name(std::move(name)) {}

SingleInstanceLock::~SingleInstanceLock() {
    release();
}

// The mutex is never owned: its existence under the name is the lock. The name has no
// "Global\" prefix, so the lock holds within one logon session.
bool SingleInstanceLock::acquire() {
    if (handle != -1) {
        return true;
    }
    const std::wstring wideName = widen(name);
    HANDLE existing = OpenMutexW(MUTEX_ALL_ACCESS, FALSE, wideName.c_str());
    if (existing != nullptr) {
        CloseHandle(existing);
        return false;
    }
    HANDLE created = CreateMutexW(nullptr, FALSE, wideName.c_str());
    if (created == nullptr) {
        throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                                "cannot create mutex " + name);
    }
    // Two instances started at the same moment both find no mutex to open; the one whose
    // creation came second only opened the other's.
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(created);
        return false;
    }
    handle = reinterpret_cast<intptr_t>(created);
    return true;
}

// Closing the last handle removes the name, so that a new start is not taken for a second
// instance.
void SingleInstanceLock::release() {
    if (handle == -1) {
        return;
    }
    const HANDLE mutex = reinterpret_cast<HANDLE>(handle);
    ReleaseMutex(mutex); // fails harmlessly: the mutex is never owned
    CloseHandle(mutex);
    handle = -1;
}

} // namespace platform
