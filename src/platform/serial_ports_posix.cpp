#include "platform/serial_ports.h"

#include "platform/com_port_name.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace platform {

namespace {

std::string& serialDeviceFolder() {
    static std::string folder = "/dev";
    return folder;
}

std::string ttyPath(int number) {
    return serialDeviceFolder() + "/ttyS" + std::to_string(number - 1);
}

} // namespace

void setSerialDeviceFolder(const std::string& folder) {
    serialDeviceFolder() = folder;
}

std::string serialDevicePath(const std::string& portText) {
    const int number = comPortNumber(portText);
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
