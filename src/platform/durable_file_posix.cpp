#include "platform/durable_file.h"

#include <boost/filesystem/operations.hpp>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

std::string reason(const boost::filesystem::path& file, const char* what, int error = errno) {
    return std::string(what) + " " + file.string() + ": " + std::strerror(error);
}

bool writeAll(int descriptor, const std::string& content) {
    std::size_t written = 0;
    while (written < content.size()) {
        const ssize_t count =
            ::write(descriptor, content.data() + written, content.size() - written);
        if (count < 0 && errno != EINTR) {
            return false;
        }
        written += count > 0 ? static_cast<std::size_t>(count) : 0;
    }
    return true;
}

} // namespace

void writeFileToDisk(const boost::filesystem::path& file, const std::string& content,
                     FileAccess access) {
    const int descriptor = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC,
                                  access == FileAccess::OwnerOnly ? 0600 : 0644);
    if (descriptor < 0) {
        throw FileWriteError(FileWriteError::Step::Open, reason(file, "could not open"));
    }
    // A file left by an earlier run keeps its mode through O_TRUNC; a key is never written
    // into one that others may read.
    if (access == FileAccess::OwnerOnly && ::fchmod(descriptor, 0600) != 0) {
        const int error = errno;
        ::close(descriptor);
        throw FileWriteError(FileWriteError::Step::Open, reason(file, "could not protect", error));
    }
    int error = writeAll(descriptor, content) && ::fsync(descriptor) == 0 ? 0 : errno;
    if (::close(descriptor) != 0 && error == 0) {
        error = errno;
    }
    if (error != 0) {
        boost::system::error_code ignored; // the error below says what went wrong
        boost::filesystem::remove(file, ignored);
        throw FileWriteError(FileWriteError::Step::Write, reason(file, "could not write", error));
    }
}

void renameOnDisk(const boost::filesystem::path& from, const boost::filesystem::path& to) {
    if (::rename(from.c_str(), to.c_str()) != 0) {
        throw FileWriteError(FileWriteError::Step::Replace, reason(to, "could not replace"));
    }
    const boost::filesystem::path folder =
        to.has_parent_path() ? to.parent_path() : boost::filesystem::path(".");
    const int descriptor = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0) {
        throw FileWriteError(FileWriteError::Step::Replace, reason(folder, "could not open"));
    }
    const int error = ::fsync(descriptor) == 0 ? 0 : errno;
    ::close(descriptor); // read-only: nothing to lose on close
    if (error != 0) {
        throw FileWriteError(FileWriteError::Step::Replace,
                             reason(folder, "could not flush", error));
    }
}

} // namespace platform
