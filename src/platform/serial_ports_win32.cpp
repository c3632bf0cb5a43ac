#include "platform/serial_ports.h"

#include "platform/com_port_name.h"

#include <string>
#include <windows.h>

namespace platform {

// The device namespace prefix reaches COM10 and above too, which the plain name does not.
std::string serialDevicePath(const std::string& portText) {
    const int number = comPortNumber(portText);
    return number > 0 ? "\\\\.\\COM" + std::to_string(number) : portText;
}

bool serialPortPresent(int number) {
    if (number < 1) {
        return false;
    }
    const std::wstring name = L"COM" + std::to_wstring(number);
    COMMCONFIG config{};
    DWORD size = sizeof config;
    return GetDefaultCommConfigW(name.c_str(), &config, &size) != 0;
}

} // namespace platform
