#include "platform/single_instance.h"

#include "platform/app_data.h"
#include <boost/filesystem/operations.hpp>
#include <boost/filesystem/path.hpp>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <system_error>
#include <unistd.h>

namespace platform {

namespace {

// A per-user folder: in the shared temporary folder another user could take the name first
// and keep the program from starting.
boost::filesystem::path lockFolder() {
    const char* runtimeDir = std::getenv("XDG_RUNTIME_DIR");
    if (runtimeDir != nullptr && *runtimeDir != '\0')
        return runtimeDir;
    const boost::filesystem::path folder = programDataFolder();
    boost::filesystem::create_directories(folder);
    return folder;
}

} // namespace

SingleInstanceLock::SingleInstanceLock(std::string name) : name(std::move(name)) {}

SingleInstanceLock::~SingleInstanceLock() {
    release();
}

bool SingleInstanceLock::acquire() {
    if (handle != -1)
        return true;
    const auto lockFile = lockFolder() / (name + ".lock");
    const int descriptor = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (descriptor == -1)
        throw std::system_error(errno, std::generic_category(),
                                "cannot open lock file " + lockFile.string());
    if (::flock(descriptor, LOCK_EX | LOCK_NB) == -1) {
        const int error = errno;
        ::close(descriptor);
        if (error == EWOULDBLOCK)
            return false;
        throw std::system_error(error, std::generic_category(), "cannot lock " + lockFile.string());
    }
    handle = descriptor;
    return true;
}

// The lock file stays behind: removing it would let a later start lock a new file while an
// earlier instance still holds the old one.
void SingleInstanceLock::release() {
    if (handle == -1)
        return;
    ::close(static_cast<int>(handle));
    handle = -1;
}

} // namespace platform
