#include "platform/local_time.h"

#include <cstdio>
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

std::string ctimeNow() {
    return ctimeText(localTimeNow());
}

std::string ctimeText(const std::tm& time) {
    // Spelled out rather than taken from strftime so that the names stay English
    // whatever the process's locale.
    static const char* const weekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char text[64];
    std::snprintf(text, sizeof text, "%s %s %2d %02d:%02d:%02d %d", weekdays[time.tm_wday],
                  months[time.tm_mon], time.tm_mday, time.tm_hour, time.tm_min, time.tm_sec,
                  time.tm_year + 1900);
    return text;
}

} // namespace platform
