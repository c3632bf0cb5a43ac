// Files the program and its companion write for themselves: after a crash, a full disk or a
// power cut, a reader finds the old content or the new one, whole, never a part or nothing.
#ifndef PLATFORM_DURABLE_FILE_H
#define PLATFORM_DURABLE_FILE_H

#include <boost/filesystem/path.hpp>
#include <stdexcept>
#include <string>

namespace platform {

// A write that did not happen; what() says which file and why, and the target is left as it
// was.
class FileWriteError : public std::runtime_error {
public:
    enum class Step { Open, Write, Replace };

    FileWriteError(Step step, const std::string& what) : std::runtime_error(what), step(step) {}

    Step step;
};

// OwnerOnly: readable by the account alone (a private key); on Windows the folder's own
// permissions apply.
enum class FileAccess { Shared, OwnerOnly };

// Writes `content` as the whole of `file` (an owner-only file is made so before its content
// goes in) and returns once the system says it is on the disk.
void writeFileToDisk(const boost::filesystem::path& file, const std::string& content,
                     FileAccess access = FileAccess::Shared);

// Renames `from` over `to`; where the system allows, the folder is flushed too, so that the
// new name itself survives a power cut.
void renameOnDisk(const boost::filesystem::path& from, const boost::filesystem::path& to);

// Both, through `target` with ".tmp" appended.
void replaceFileAtomically(const boost::filesystem::path& target, const std::string& content,
                           FileAccess access = FileAccess::Shared);

} // namespace platform

#endif
