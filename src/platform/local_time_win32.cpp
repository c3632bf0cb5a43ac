#include "platform/local_time.h"

#include <stdexcept>
#include <time.h>

namespace platform {

std::tm localTimeNow() {
    const __time64_t now = _time64(nullptr);
    std::tm broken{};
    if (_localtime64_s(&broken, &now) != 0) {
        throw std::runtime_error("could not convert calendar time to local time");
    }
    return broken;
}

// The C runtime keeps the text of _ctime64 per thread, so the server thread and the main
// thread do not share it.
std::string ctimeNow() {
    const __time64_t now = _time64(nullptr);
    const char* text = _ctime64(&now);
    if (text == nullptr) {
        throw std::runtime_error("could not convert calendar time to local time");
    }
    std::string line(text);
    if (!line.empty() && line.back() == '\n') {
        line.pop_back();
    }
    return line;
}

} // namespace platform
