#include "line_timing.h"

#include <algorithm>

namespace virtual_printer {

namespace {

constexpr int bitsPerByte = 10;

LineTiming::Clock::duration period(int perSecond, int units) {
    if (perSecond <= 0) {
        return LineTiming::Clock::duration::zero();
    }
    return std::chrono::duration_cast<LineTiming::Clock::duration>(
        std::chrono::duration<double>(static_cast<double>(units) / static_cast<double>(perSecond)));
}

} // namespace

LineTiming::LineTiming(LineSpeed speed)
    : byteTime(period(speed.baud, bitsPerByte)), lineTime(period(speed.linesPerSecond, 1)) {}

LineTiming::Clock::time_point LineTiming::received(Clock::time_point now) {
    receiving = std::max(receiving, now) + byteTime;
    return receiving;
}

LineTiming::Clock::time_point LineTiming::executed(const std::string& command,
                                                   Clock::time_point arrival) {
    if (command.compare(0, 1, "!") == 0) {
        return arrival;
    }
    working = std::max(working, arrival) + (command == "trline" ? lineTime : Clock::duration());
    return working;
}

LineTiming::Clock::time_point LineTiming::sent(std::size_t size, Clock::time_point ready) {
    sending = std::max(sending, ready) + byteTime * static_cast<long>(size);
    return sending;
}

void LineTiming::reset() {
    receiving = working = sending = Clock::time_point();
}

} // namespace virtual_printer
