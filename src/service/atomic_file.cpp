#include "service/atomic_file.h"
#include <boost/filesystem/fstream.hpp>
#include <boost/filesystem/operations.hpp>

namespace {

// Best effort: the write has already failed and says so; a leftover temporary file is
// overwritten by the next write.
void discard(const boost::filesystem::path& file) {
    boost::system::error_code ignored;
    boost::filesystem::remove(file, ignored);
}

void writeFile(const boost::filesystem::path& file, const std::string& content) {
    boost::filesystem::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out.is_open()) {
        throw AtomicWriteError(AtomicWriteError::Step::Open, "could not open " + file.string());
    }
    out << content;
    out.close();
    if (out.fail()) {
        discard(file);
        throw AtomicWriteError(AtomicWriteError::Step::Write, "could not write " + file.string());
    }
}

} // namespace

void replaceFileAtomically(const boost::filesystem::path& target, const std::string& content) {
    boost::filesystem::path temporary = target;
    temporary += ".tmp";
    writeFile(temporary, content);
    boost::system::error_code error;
    boost::filesystem::rename(temporary, target, error);
    if (error) {
        discard(temporary);
        throw AtomicWriteError(AtomicWriteError::Step::Replace,
                               "could not replace " + target.string() + ": " + error.message());
    }
}
