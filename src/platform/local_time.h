// The workstation's clock, in local time.
#ifndef PLATFORM_LOCAL_TIME_H
#define PLATFORM_LOCAL_TIME_H

#include <ctime>
#include <string>

namespace platform {

// The current local time broken down; throws std::runtime_error with
// "could not convert calendar time to local time" when the conversion fails.
std::tm localTimeNow();

// The current local time in the C library's ctime form without its line feed,
// for example "Tue Mar  7 09:05:01 2024".
std::string ctimeNow();

// A broken-down time in that form.
std::string ctimeText(const std::tm& time);

// The current time in UTC as ISO 8601, for example "2024-03-07T08:05:01Z": what the program's
// page shows in the reader's local time.
std::string utcTimestampNow();

} // namespace platform

#endif
