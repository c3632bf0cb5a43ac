// A lock file that one process at a time holds: the program, its certificate companion, the
// scheduled task and the setup command all change the certificate folder under it, so that
// two renewals at once never mix their files.
#ifndef PLATFORM_FILE_LOCK_H
#define PLATFORM_FILE_LOCK_H

#include <boost/filesystem/path.hpp>
#include <cstdint>

namespace platform {

class FileLock {
public:
    // Waits until the lock on file (made when missing) is this process's. Throws
    // std::runtime_error when the file cannot be opened or locked.
    explicit FileLock(const boost::filesystem::path& file);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    std::intptr_t handle;
};

} // namespace platform

#endif
