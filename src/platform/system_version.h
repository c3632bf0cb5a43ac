// The operating system's version, for the start-up log line.
#ifndef PLATFORM_SYSTEM_VERSION_H
#define PLATFORM_SYSTEM_VERSION_H

namespace platform {

struct SystemVersion {
    unsigned major = 0;
    unsigned minor = 0;
};

// GetVersionExW on Windows; the kernel's major and minor release numbers on Linux.
SystemVersion systemVersion();

} // namespace platform

#endif
