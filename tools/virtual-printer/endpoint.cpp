#include "endpoint.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace virtual_printer {

namespace {

[[noreturn]] void systemFailure(const std::string& what) {
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

void makeNonBlocking(int fd) {
    if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK) != 0) {
        systemFailure("fcntl");
    }
}

class PseudoTerminal : public Endpoint {
public:
    explicit PseudoTerminal(const std::string& linkPath) : linkPath(linkPath) {
        masterFd = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (masterFd < 0 || ::grantpt(masterFd) != 0 || ::unlockpt(masterFd) != 0) {
            systemFailure("pseudo-terminal");
        }
        const std::string terminal = ::ptsname(masterFd);
        // Held open for the printer's whole life: without it the master reports a hang-up
        // whenever no host has the terminal open, and the host's settings would be lost.
        terminalFd = ::open(terminal.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (terminalFd < 0) {
            systemFailure(terminal);
        }
        makeRaw();
        makeNonBlocking(masterFd);
        link(terminal);
    }

    ~PseudoTerminal() override {
        ::unlink(linkPath.c_str());
        ::close(terminalFd);
        ::close(masterFd);
    }

    std::string portText() const override { return linkPath; }
    int listeningDescriptor() const override { return -1; }
    int accept() override { return masterFd; }
    void hangUp(int) override { throw std::runtime_error("the pseudo-terminal failed"); }

private:
    // An echoing terminal would send each command straight back to the host.
    void makeRaw() {
        termios mode{};
        if (::tcgetattr(terminalFd, &mode) != 0) {
            systemFailure("tcgetattr");
        }
        ::cfmakeraw(&mode);
        if (::tcsetattr(terminalFd, TCSANOW, &mode) != 0) {
            systemFailure("tcsetattr");
        }
    }

    // A link left by an earlier run is replaced; anything else at the path is not touched.
    void link(const std::string& terminal) {
        struct stat existing {};
        if (::lstat(linkPath.c_str(), &existing) == 0) {
            if (!S_ISLNK(existing.st_mode)) {
                throw std::runtime_error(linkPath + " exists and is not a symbolic link");
            }
            ::unlink(linkPath.c_str());
        }
        if (::symlink(terminal.c_str(), linkPath.c_str()) != 0) {
            systemFailure(linkPath);
        }
    }

    std::string linkPath;
    int masterFd = -1;
    int terminalFd = -1;
};

class TcpPort : public Endpoint {
public:
    explicit TcpPort(int port) {
        listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int on = 1;
        ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<uint16_t>(port));
        socklen_t length = sizeof address;
        if (listener < 0 ||
            ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(listener, 4) != 0 ||
            ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            systemFailure("listening on 127.0.0.1:" + std::to_string(port));
        }
        boundPort = ntohs(address.sin_port);
    }

    ~TcpPort() override { ::close(listener); }

    std::string portText() const override { return "tcp://127.0.0.1:" + std::to_string(boundPort); }
    int listeningDescriptor() const override { return listener; }

    int accept() override {
        const int fd = ::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            systemFailure("accept");
        }
        // Answers go out as they fall due, several to one batch of commands sent ahead; held
        // back for the host's acknowledgement, each would wait out its delayed ACK.
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        return fd;
    }

    void hangUp(int fd) override { ::close(fd); }

private:
    int listener = -1;
    int boundPort = 0;
};

} // namespace

std::unique_ptr<Endpoint> openPseudoTerminal(const std::string& linkPath) {
    return std::make_unique<PseudoTerminal>(linkPath);
}

std::unique_ptr<Endpoint> listenTcp(int port) {
    return std::make_unique<TcpPort>(port);
}

} // namespace virtual_printer
