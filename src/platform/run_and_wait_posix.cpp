#include "platform/run_and_wait.h"

#include <boost/filesystem/operations.hpp>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace platform {

namespace {

// Closes a descriptor when it goes out of scope, however the caller leaves.
struct Descriptor {
    int number;
    ~Descriptor() {
        if (number >= 0)
            ::close(number);
    }
};

std::string readAll(int descriptor) {
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t count = ::read(descriptor, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return text;
        text.append(buffer, static_cast<std::size_t>(count));
    }
}

int waitFor(pid_t child) {
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

ProgramOutcome runAndWait(const std::string& program, const std::vector<std::string>& arguments) {
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0)
        throw std::runtime_error(std::string("cannot make a pipe: ") + std::strerror(errno));
    Descriptor reading{pipeEnds[0]};
    Descriptor writing{pipeEnds[1]};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, writing.number, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, writing.number, STDERR_FILENO);
    std::vector<std::string> words{program};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_t child = 0;
    const int failure =
        ::posix_spawnp(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failure != 0)
        throw std::runtime_error("cannot start " + program + ": " + std::strerror(failure));
    ::close(writing.number);
    writing.number = -1;
    ProgramOutcome outcome;
    outcome.output = readAll(reading.number);
    outcome.exitCode = waitFor(child);
    return outcome;
}

boost::filesystem::path executableFolder() {
    return boost::filesystem::read_symlink("/proc/self/exe").parent_path();
}

} // namespace platform
