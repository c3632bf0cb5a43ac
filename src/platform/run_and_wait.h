// Runs another program to its end: the certificate companion for a renewal, and certutil for
// the browsers' certificate stores.
#ifndef PLATFORM_RUN_AND_WAIT_H
#define PLATFORM_RUN_AND_WAIT_H

#include <boost/filesystem/path.hpp>
#include <string>
#include <vector>

namespace platform {

struct ProgramOutcome {
    int exitCode = -1;  // -1 when the program was ended by a signal
    std::string output; // its standard output and error, interleaved as written
};

// Starts program (a path, or on Linux a name looked up in PATH) with arguments (UTF-8), its
// standard input empty, and waits for it. Throws std::runtime_error when it cannot be
// started.
ProgramOutcome runAndWait(const std::string& program, const std::vector<std::string>& arguments);

// The folder of the running program's executable, where the programs it runs are installed.
boost::filesystem::path executableFolder();

} // namespace platform

#endif
