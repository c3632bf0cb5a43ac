#include "poslib/line.h"

#include "platform/serial_ports.h"
#include "poslib/library_error.h"
#include "poslib/tcp_address.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace poslib {

namespace {

constexpr std::chrono::milliseconds connectLimit{5000};

[[noreturn]] void lineLost(const std::string& what) {
    throw LibraryError(LineLost, what + ": " + std::strerror(errno));
}

[[noreturn]] void cannotOpen(const std::string& port, const std::string& why) {
    throw LibraryError(PortNotOpened, "cannot open " + port + ": " + why);
}

int millisecondsUntil(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Waits for the event on fd; false when the deadline passed first.
bool awaitEvent(int fd, short event, Clock::time_point deadline) {
    pollfd entry{fd, event, 0};
    for (;;) {
        const int ready = ::poll(&entry, 1, millisecondsUntil(deadline));
        if (ready > 0) {
            return true;
        }
        if (ready == 0) {
            return false;
        }
        if (errno != EINTR) {
            lineLost("poll");
        }
    }
}

// A non-blocking descriptor: a serial device or a connected socket.
class DescriptorLine : public Line {
public:
    explicit DescriptorLine(int fd) : descriptor(fd) {}
    ~DescriptorLine() override { ::close(descriptor); }
    DescriptorLine(const DescriptorLine&) = delete;
    DescriptorLine& operator=(const DescriptorLine&) = delete;

    void write(const std::string& bytes, Clock::time_point deadline) override {
        std::size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t count = writeSome(bytes.data() + sent, bytes.size() - sent);
            if (count > 0) {
                sent += static_cast<std::size_t>(count);
            } else if (errno == EAGAIN || errno == EINTR) {
                if (!awaitEvent(descriptor, POLLOUT, deadline)) {
                    errno = ETIMEDOUT;
                    lineLost("write");
                }
            } else {
                lineLost("write");
            }
        }
    }

    std::string read(Clock::time_point deadline) override {
        if (!awaitEvent(descriptor, POLLIN, deadline)) {
            return {};
        }
        char buffer[512];
        const ssize_t count = ::read(descriptor, buffer, sizeof buffer);
        if (count > 0) {
            return std::string(buffer, static_cast<std::size_t>(count));
        }
        if (count < 0 && (errno == EAGAIN || errno == EINTR)) {
            return {};
        }
        if (count == 0) {
            errno = ECONNRESET;
        }
        lineLost("read");
    }

protected:
    virtual ssize_t writeSome(const char* data, std::size_t size) {
        return ::write(descriptor, data, size);
    }
    int fd() const { return descriptor; }

private:
    int descriptor;
};

class SerialLine : public DescriptorLine {
public:
    using DescriptorLine::DescriptorLine;
    // Lets the next opener in, also on a terminal that stays open elsewhere (a pty).
    ~SerialLine() override { ::ioctl(fd(), TIOCNXCL); }
};

class TcpLine : public DescriptorLine {
public:
    using DescriptorLine::DescriptorLine;

protected:
    // A peer that went away must become a lost line, not a SIGPIPE that ends the program.
    ssize_t writeSome(const char* data, std::size_t size) override {
        return ::send(fd(), data, size, MSG_NOSIGNAL);
    }
};

speed_t speedOf(int baudRate) {
    switch (baudRate) {
    case 1200:
        return B1200;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    default:
        return B9600;
    }
}

void configureTerminal(int fd, const PortSettings& settings) {
    termios mode{};
    if (::tcgetattr(fd, &mode) != 0) {
        cannotOpen(settings.port, std::strerror(errno));
    }
    ::cfmakeraw(&mode);
    ::cfsetispeed(&mode, speedOf(settings.baudRate));
    ::cfsetospeed(&mode, speedOf(settings.baudRate));
    mode.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    mode.c_cflag |= CLOCAL | CREAD | (settings.dataBits == 7 ? CS7 : CS8);
    mode.c_cflag |=
        settings.parity == 'N' ? 0 : (settings.parity == 'O' ? PARENB | PARODD : PARENB);
    mode.c_cflag |= (settings.stopBits == 2 ? CSTOPB : 0) |
                    (settings.flowControl == FlowControl::RtsCts ? CRTSCTS : 0);
    // Frames never hold the XON and XOFF bytes, so the line may use them to pause the sender.
    mode.c_iflag |= settings.flowControl == FlowControl::XonXoff ? IXON | IXOFF : 0;
    mode.c_cc[VMIN] = 1;
    mode.c_cc[VTIME] = 0;
    if (::tcsetattr(fd, TCSANOW, &mode) != 0) {
        cannotOpen(settings.port, std::strerror(errno));
    }
    // Bytes left over from an earlier conversation would be taken for the next answer.
    ::tcflush(fd, TCIOFLUSH);
}

std::unique_ptr<Line> openSerial(const PortSettings& settings) {
    const std::string path = platform::serialDevicePath(settings.port);
    if (path.empty() || path[0] != '/') {
        cannotOpen(settings.port, "not COMn, an absolute device path or tcp://HOST:PORT");
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        cannotOpen(settings.port, std::strerror(errno));
    }
    auto line = std::make_unique<SerialLine>(fd);
    // Two programs writing frames to one printer would garble each other's commands.
    if (::ioctl(fd, TIOCEXCL) != 0) {
        cannotOpen(settings.port, std::strerror(errno));
    }
    configureTerminal(fd, settings);
    return line;
}

int connectSocket(const addrinfo& address, Clock::time_point deadline) {
    const int fd = ::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                            address.ai_protocol);
    if (fd < 0) {
        return -1;
    }
    int failure = 0;
    socklen_t length = sizeof failure;
    if (::connect(fd, address.ai_addr, address.ai_addrlen) != 0 &&
        (errno != EINPROGRESS || !awaitEvent(fd, POLLOUT, deadline) ||
         ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &failure, &length) != 0 || failure != 0)) {
        ::close(fd);
        return -1;
    }
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on); // frames are small and answered
    return fd;
}

// The name lookup and the connection share one deadline.
std::unique_ptr<Line> openTcp(const PortSettings& settings) {
    const Clock::time_point deadline = Clock::now() + connectLimit;
    const AddressList addresses = lookUpTcpAddress(settings.port, deadline);
    int fd = -1;
    for (const addrinfo* candidate = addresses.get(); candidate != nullptr && fd < 0;
         candidate = candidate->ai_next) {
        fd = connectSocket(*candidate, deadline);
    }
    if (fd < 0) {
        cannotOpen(settings.port, "connection refused or timed out");
    }
    return std::make_unique<TcpLine>(fd);
}

} // namespace

std::unique_ptr<Line> openLine(const PortSettings& settings) {
    if (isTcpAddress(settings.port)) {
        return openTcp(settings);
    }
    return openSerial(settings);
}

} // namespace poslib
