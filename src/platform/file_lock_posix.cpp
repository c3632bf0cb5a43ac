#include "platform/file_lock.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/file.h>
#include <unistd.h>

namespace platform {

// flock: the lock goes with the descriptor, so a process that ends, however it ends, leaves
// it free.
FileLock::FileLock(const boost::filesystem::path& file)
    : handle(::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
    if (handle < 0)
        throw std::runtime_error("cannot open the lock file " + file.string() + ": " +
                                 std::strerror(errno));
    while (::flock(static_cast<int>(handle), LOCK_EX) != 0) {
        if (errno != EINTR) {
            const int error = errno;
            ::close(static_cast<int>(handle));
            throw std::runtime_error("cannot lock " + file.string() + ": " + std::strerror(error));
        }
    }
}

FileLock::~FileLock() {
    ::close(static_cast<int>(handle));
}

} // namespace platform
