// The lock that lets only one instance of the program run per user session.
#ifndef PLATFORM_SINGLE_INSTANCE_H
#define PLATFORM_SINGLE_INSTANCE_H

#include <cstdint>
#include <string>

namespace platform {

// A named lock held for the life of the process: a named mutex on Windows, an exclusive
// flock on a file named after it in $XDG_RUNTIME_DIR (or, without it, the program's data
// folder) on Linux.
class SingleInstanceLock {
public:
    explicit SingleInstanceLock(std::string name);
    ~SingleInstanceLock();
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

    // False when another process holds the lock.
    bool acquire();
    void release();

private:
    std::string name;
    intptr_t handle = -1;
};

} // namespace platform

#endif
