#include "platform/local_time.h"

#include <boost/date_time/posix_time/posix_time.hpp>
#include <cstdio>

namespace platform {

// Answers ask for it many times a second, and the conversion to local time takes the C
// library's lock and reads the time zone: the text is made again only when the second changes.
// It is kept in plain characters because the Windows build frees a thread's thread-local
// storage before it runs the destructors of the objects in it: a thread-local string crashed
// server threads as they ended.
std::string ctimeNow() {
    thread_local std::time_t madeFor = -1;
    thread_local char text[64];
    const std::time_t now = std::time(nullptr);
    if (now != madeFor) {
        std::snprintf(text, sizeof text, "%s", ctimeText(localTimeNow()).c_str());
        madeFor = now;
    }
    return text;
}

// Spelled out rather than taken from strftime, so that the names stay English whatever the
// process's locale, and rather than from the Windows C runtime's ctime, which pads the day
// with a zero.
std::string ctimeText(const std::tm& time) {
    static const char* const weekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char text[64];
    std::snprintf(text, sizeof text, "%s %s %2d %02d:%02d:%02d %d", weekdays[time.tm_wday],
                  months[time.tm_mon], time.tm_mday, time.tm_hour, time.tm_min, time.tm_sec,
                  time.tm_year + 1900);
    return text;
}

std::string utcTimestampNow() {
    return boost::posix_time::to_iso_extended_string(
               boost::posix_time::second_clock::universal_time()) +
           "Z";
}

} // namespace platform
