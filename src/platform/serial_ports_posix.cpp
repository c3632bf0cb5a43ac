#include "platform/serial_ports.h"

#include <cctype>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace platform {

namespace {

// The n of "COMn" (case as Windows ignores it), or 0 for any other text.
int comNumber(const std::string& portText) {
    if (portText.size() < 4 || portText.size() > 6 ||
        std::toupper(static_cast<unsigned char>(portText[0])) != 'C' ||
        std::toupper(static_cast<unsigned char>(portText[1])) != 'O' ||
        std::toupper(static_cast<unsigned char>(portText[2])) != 'M' ||
        portText.find_first_not_of("0123456789", 3) != std::string::npos) {
        return 0;
    }
    return std::stoi(portText.substr(3));
}

std::string ttyPath(int number) {
    return "/dev/ttyS" + std::to_string(number - 1);
}

} // namespace

std::string serialDevicePath(const std::string& portText) {
    const int number = comNumber(portText);
    return number > 0 ? ttyPath(number) : portText;
}

bool serialPortPresent(int number) {
    if (number < 1) {
        return false;
    }
    // Non-blocking: a port whose modem lines are down must not hang the probe.
    const int fd = ::open(ttyPath(number).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    termios mode{};
    const bool answers = ::tcgetattr(fd, &mode) == 0;
    ::close(fd);
    return answers;
}

} // namespace platform
