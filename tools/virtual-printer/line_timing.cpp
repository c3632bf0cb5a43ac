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
    : byteTime_(period(speed.baud, bitsPerByte)), lineTime_(period(speed.linesPerSecond, 1)) {}

LineTiming::Clock::time_point LineTiming::received(Clock::time_point now) {
    receiving_ = std::max(receiving_, now) + byteTime_;
    return receiving_;
}

LineTiming::Clock::time_point LineTiming::executed(const std::string& command,
                                                   Clock::time_point arrival) {
    if (command.compare(0, 1, "!") == 0) {
        return arrival;
    }
    working_ = std::max(working_, arrival) + (command == "trline" ? lineTime_ : Clock::duration());
    return working_;
}

LineTiming::Clock::time_point LineTiming::sent(std::size_t size, Clock::time_point ready) {
    sending_ = std::max(sending_, ready) + byteTime_ * static_cast<long>(size);
    return sending_;
}

void LineTiming::reset() {
    receiving_ = working_ = sending_ = Clock::time_point();
}

} // namespace virtual_printer
