#include "platform/com_port_name.h"

#include <cctype>

namespace platform {

int comPortNumber(const std::string& portText) {
    if (portText.size() < 4 || portText.size() > 6 ||
        std::toupper(static_cast<unsigned char>(portText[0])) != 'C' ||
        std::toupper(static_cast<unsigned char>(portText[1])) != 'O' ||
        std::toupper(static_cast<unsigned char>(portText[2])) != 'M' ||
        portText.find_first_not_of("0123456789", 3) != std::string::npos) {
        return 0;
    }
    return std::stoi(portText.substr(3));
}

} // namespace platform
