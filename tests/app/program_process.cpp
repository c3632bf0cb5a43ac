#include "program_process.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

std::vector<std::string> mergedEnvironment(const std::map<std::string, std::string>& overrides) {
    std::vector<std::string> entries;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        if (overrides.count(text.substr(0, text.find('='))) == 0)
            entries.push_back(text);
    }
    for (const auto& pair : overrides)
        entries.push_back(pair.first + "=" + pair.second);
    return entries;
}

void makePipe(int descriptors[2]) {
    if (::pipe2(descriptors, O_CLOEXEC) != 0)
        throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
}

} // namespace

ProgramProcess::ProgramProcess(const boost::filesystem::path& workFolder,
                               const std::map<std::string, std::string>& environment,
                               Output outputKind) {
    std::vector<std::string> entries = mergedEnvironment(environment);
    std::vector<char*> environmentPointers;
    for (std::string& entry : entries)
        environmentPointers.push_back(entry.data());
    environmentPointers.push_back(nullptr);
    std::string program = PROGRAM_FILE;
    char* arguments[] = {program.data(), nullptr};
    const std::string folder = workFolder.string();

    int outputPipe[2];
    int errorPipe[2];
    makePipe(outputPipe);
    makePipe(errorPipe);
    child = ::fork();
    if (child == -1)
        throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
    if (child == 0) {
        ::dup2(outputPipe[1], STDOUT_FILENO);
        ::dup2(errorPipe[1], STDERR_FILENO);
        if (::chdir(folder.c_str()) == 0)
            ::execve(program.c_str(), arguments, environmentPointers.data());
        ::_exit(127);
    }
    ::close(outputPipe[1]);
    ::close(errorPipe[1]);
    error.descriptor = errorPipe[0];
    error.reader = std::thread([this] { collect(error); });
    if (outputKind == Output::ReaderGone) {
        ::close(outputPipe[0]);
        output.closed = true;
        return;
    }
    output.descriptor = outputPipe[0];
    output.reader = std::thread([this] { collect(output); });
}

ProgramProcess::~ProgramProcess() {
    if (!reaped) {
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
    }
    for (Stream* stream : {&output, &error}) {
        if (stream->reader.joinable())
            stream->reader.join();
        if (stream->descriptor != -1)
            ::close(stream->descriptor);
    }
}

void ProgramProcess::collect(Stream& stream) {
    char buffer[4096];
    for (;;) {
        const ssize_t count = ::read(stream.descriptor, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        std::lock_guard<std::mutex> lock(mutex);
        if (count <= 0) {
            stream.closed = true;
            changed.notify_all();
            return;
        }
        stream.text.append(buffer, static_cast<std::size_t>(count));
        changed.notify_all();
    }
}

bool ProgramProcess::awaitOutputLine(const std::string& line) {
    std::unique_lock<std::mutex> lock(mutex);
    const auto found = [&] {
        return ("\n" + output.text).find("\n" + line + "\n") != std::string::npos;
    };
    changed.wait_for(lock, processPatience, [&] { return found() || output.closed; });
    return found();
}

void ProgramProcess::signal(int number) {
    ::kill(child, number);
}

int ProgramProcess::awaitExit() {
    const auto deadline = std::chrono::steady_clock::now() + processPatience;
    int status = 0;
    pid_t result = 0;
    while ((result = ::waitpid(child, &status, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (result == 0) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
        reaped = true;
        return -1;
    }
    reaped = true;
    {
        // Output written just before the end is still in the pipes; read it all.
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait_for(lock, processPatience, [this] { return output.closed && error.closed; });
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ProgramProcess::standardOutput() {
    std::lock_guard<std::mutex> lock(mutex);
    return output.text;
}

std::string ProgramProcess::standardError() {
    std::lock_guard<std::mutex> lock(mutex);
    return error.text;
}
