#include "platform/durable_file.h"

#include <boost/filesystem/operations.hpp>

namespace platform {

void replaceFileAtomically(const boost::filesystem::path& target, const std::string& content,
                           FileAccess access) {
    boost::filesystem::path temporary = target;
    temporary += ".tmp";
    writeFileToDisk(temporary, content, access);
    try {
        renameOnDisk(temporary, target);
    } catch (const FileWriteError&) {
        // Best effort: the write has already failed and says so; a leftover temporary file
        // is replaced by the next write.
        boost::system::error_code ignored;
        boost::filesystem::remove(temporary, ignored);
        throw;
    }
}

} // namespace platform
