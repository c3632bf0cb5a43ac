#include "platform/message_box.h"

#include <iostream>

namespace platform {

void showErrorBox(const std::string& text, const std::string& caption) {
    std::cerr << caption << ": " << text << std::endl;
}

} // namespace platform
