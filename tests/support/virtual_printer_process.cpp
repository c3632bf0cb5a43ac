#include "support/virtual_printer_process.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const std::string kReadyPrefix = "virtual-printer listening on ";

} // namespace

VirtualPrinterProcess::VirtualPrinterProcess(const std::vector<std::string>& options, Line line)
    : folder_(temporary_.path().string()), journalPath_(folder_ + "/journal.txt") {
    std::vector<std::string> arguments = {VIRTUAL_PRINTER_EXECUTABLE, "--journal", journalPath_};
    if (line == Line::Tcp) {
        arguments.insert(arguments.end(), {"--tcp", "0"});
    } else {
        arguments.insert(arguments.end(), {"--pty", folder_ + "/printer"});
    }
    arguments.insert(arguments.end(), options.begin(), options.end());
    start(arguments);
}

VirtualPrinterProcess::~VirtualPrinterProcess() {
    stop();
}

std::string VirtualPrinterProcess::journal() const {
    std::ifstream file(journalPath_, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

void VirtualPrinterProcess::stop() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
}

void VirtualPrinterProcess::switchOn() {
    ::kill(pid_, SIGUSR1);
}

void VirtualPrinterProcess::start(const std::vector<std::string>& arguments) {
    int output[2];
    if (::pipe2(output, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe: " + std::string(std::strerror(errno)));
    }
    std::vector<char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ == 0) {
        // The printer ends with the test program, also when that is killed; only calls that
        // are safe after fork() in a program with threads.
        if (::prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || ::getppid() != parent ||
            ::dup2(output[1], STDOUT_FILENO) < 0) {
            ::_exit(127);
        }
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    const int failure = errno;
    ::close(output[1]);
    if (pid_ < 0) {
        ::close(output[0]);
        throw std::runtime_error("cannot start " + arguments[0] + ": " + std::strerror(failure));
    }
    const std::string ready = readReadyLine(output[0]);
    ::close(output[0]);
    if (ready.compare(0, kReadyPrefix.size(), kReadyPrefix) != 0) {
        stop();
        throw std::runtime_error("virtual-printer did not start (see its error output above)");
    }
    port_ = ready.substr(kReadyPrefix.size());
}

std::string VirtualPrinterProcess::readReadyLine(int fd) {
    std::string line;
    char byte;
    while (::read(fd, &byte, 1) == 1 && byte != '\n') {
        line += byte;
    }
    return line;
}
