#include "platform/system_version.h"

#include <cstdio>
#include <sys/utsname.h>

namespace platform {

SystemVersion parseKernelRelease(const std::string& release) {
    SystemVersion version;
    if (std::sscanf(release.c_str(), "%u.%u", &version.major, &version.minor) != 2)
        return SystemVersion();
    return version;
}

SystemVersion systemVersion() {
    utsname name{};
    if (::uname(&name) != 0)
        return SystemVersion();
    return parseKernelRelease(name.release);
}

} // namespace platform
