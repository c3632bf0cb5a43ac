#include "posnet/printer_port.h"

#include "logging/log_text.h"
#include "platform/com_port_name.h"

#include <regex>

#ifndef _WIN32
#include <filesystem>
#include <sys/stat.h>
#endif

namespace posnet {

namespace {

constexpr int lastComPort = 24;

// Digits without a leading zero, as the serial port list names the ports.
bool isComPort(const std::string& text) {
    const int number = platform::comPortNumber(text);
    return number >= 1 && number <= lastComPort && text.substr(3) == std::to_string(number);
}

bool isTcpAddress(const std::string& text) {
    static const std::regex address(
        R"(tcp://([A-Za-z0-9_.-]+|\[[0-9A-Fa-f:.]+\]):([1-9][0-9]{0,4}))");
    std::smatch parts;
    return std::regex_match(text, parts, address) && std::stoi(parts[2].str()) <= 65535;
}

[[noreturn]] void refuse(const std::string& portText, const std::string& why) {
    throw RefusedPort("\"" + escapeForLog(portText) + "\" " + why);
}

#ifndef _WIN32

namespace fs = std::filesystem;

constexpr int longestLinkChain = 40; // as the kernel allows

bool isSerialDeviceName(const std::string& path) {
    static const std::regex device(R"(/dev/(ttyS|ttyUSB|ttyACM|rfcomm)[0-9]+)");
    return std::regex_match(path, device);
}

// Follows the links of the path and of its folders; the end need not exist (a printer that is
// unplugged is a failed connection, not a refused port).
fs::path linkTarget(const std::string& portText) {
    fs::path current = portText;
    for (int hop = 0; hop <= longestLinkChain; ++hop) {
        std::error_code error;
        const fs::path folder = fs::weakly_canonical(current.parent_path(), error);
        if (error) {
            refuse(portText, "cannot be followed: " + error.message());
        }
        current = folder / current.filename();
        if (!fs::is_symlink(fs::symlink_status(current, error))) {
            return current.lexically_normal();
        }
        const fs::path target = fs::read_symlink(current, error);
        if (error) {
            refuse(portText, "cannot be followed: " + error.message());
        }
        current = target.is_absolute() ? target : folder / target;
    }
    refuse(portText, "is a chain of too many symbolic links");
}

std::string serialDevicePath(const std::string& portText) {
    const std::string device = linkTarget(portText).string();
    struct stat status {};
    const bool present = ::stat(device.c_str(), &status) == 0;
    if (!isSerialDeviceName(device) || (present && !S_ISCHR(status.st_mode))) {
        refuse(portText, "leads to " + escapeForLog(device) +
                             ", which is not a serial device (/dev/ttyS*, /dev/ttyUSB*, "
                             "/dev/ttyACM*, /dev/rfcomm*)");
    }
    return device;
}

#endif

} // namespace

std::string printerPort(const std::string& portText) {
    if (isComPort(portText) || isTcpAddress(portText)) {
        return portText;
    }
#ifndef _WIN32
    if (!portText.empty() && portText[0] == '/') {
        return serialDevicePath(portText);
    }
    refuse(portText, "is not COM1..COM24, tcp://HOST:PORT or the path of a serial device");
#else
    refuse(portText, "is not COM1..COM24 or tcp://HOST:PORT");
#endif
}

} // namespace posnet
