#include "platform/system_version.h"

#include <windows.h>

namespace platform {

// Without a compatibility manifest Windows reports 6.2 from Windows 8 on; the number only
// feeds the start-up log line.
SystemVersion systemVersion() {
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (!GetVersionExW(&info)) {
        return {};
    }
    return {info.dwMajorVersion, info.dwMinorVersion};
}

} // namespace platform
