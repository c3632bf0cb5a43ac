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

} // namespace platform
