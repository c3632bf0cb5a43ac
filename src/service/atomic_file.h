// Files the program writes whole: a reader, or the program after a crash or with a full disk,
// finds the old content or the new one, never a part.
#ifndef SERVICE_ATOMIC_FILE_H
#define SERVICE_ATOMIC_FILE_H

#include <boost/filesystem/path.hpp>
#include <stdexcept>
#include <string>

// A replacement that did not happen; what() says which file and why, and the target is left
// as it was.
class AtomicWriteError : public std::runtime_error {
public:
    enum class Step { Open, Write, Replace };

    AtomicWriteError(Step step, const std::string& what) : std::runtime_error(what), step(step) {}

    Step step;
};

// Writes `content` into `target` with ".tmp" appended and renames that over `target`.
void replaceFileAtomically(const boost::filesystem::path& target, const std::string& content);

#endif
