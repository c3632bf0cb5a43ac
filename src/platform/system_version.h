// The operating system's version, for the start-up log line.
#ifndef PLATFORM_SYSTEM_VERSION_H
#define PLATFORM_SYSTEM_VERSION_H

#include <string>

namespace platform {

struct SystemVersion {
    unsigned major = 0;
    unsigned minor = 0;
};

// GetVersionExW on Windows; the kernel's major and minor release numbers on Linux. The
// version only feeds a log line, so one that cannot be read is 0.0 rather than an error.
SystemVersion systemVersion();

// The leading "major.minor" of a kernel release text such as "6.1.0-18-amd64"; 0.0 when the
// text does not start that way.
SystemVersion parseKernelRelease(const std::string& release);

} // namespace platform

#endif
