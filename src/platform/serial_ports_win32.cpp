#include "platform/serial_ports.h"

#include "platform/com_port_name.h"

#include <string>
#include <vector>
#include <windows.h>

namespace platform {

// The device namespace prefix reaches COM10 and above too, which the plain name does not.
std::string serialDevicePath(const std::string& portText) {
    const int number = comPortNumber(portText);
    return number > 0 ? "\\\\.\\COM" + std::to_string(number) : portText;
}

bool commConfigReadable(const std::wstring& name, CommConfigQuery query) {
    COMMCONFIG config{};
    DWORD size = sizeof config;
    if (query(name.c_str(), &config, &size) != 0) {
        return true;
    }
    if (size <= sizeof config) {
        return false;
    }
    // Whole COMMCONFIG-aligned records, at least `size` bytes.
    std::vector<COMMCONFIG> larger((size + sizeof config - 1) / sizeof config);
    return query(name.c_str(), larger.data(), &size) != 0;
}

bool serialPortPresent(int number) {
    if (number < 1) {
        return false;
    }
    return commConfigReadable(L"COM" + std::to_wstring(number), GetDefaultCommConfigW);
}

} // namespace platform
