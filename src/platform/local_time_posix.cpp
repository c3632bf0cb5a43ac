#include "platform/local_time.h"

#include <stdexcept>

namespace platform {

std::tm localTimeNow() {
    const std::time_t now = std::time(nullptr);
    std::tm broken{};
    if (localtime_r(&now, &broken) == nullptr) {
        throw std::runtime_error("could not convert calendar time to local time");
    }
    return broken;
}

} // namespace platform
