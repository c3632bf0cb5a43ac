// The time a real printer's serial line and mechanism take, so that the program can be measured
// against what a shop's printer costs: at N baud every byte (a start bit, eight data bits and a
// stop bit) takes 10/N s in each direction, each direction on its own as on a full-duplex line,
// and a sale line is answered no sooner than the mechanism has printed it. The printer runs
// its queued commands one after another; a "!" command overtakes the queue.
#ifndef VIRTUAL_PRINTER_LINE_TIMING_H
#define VIRTUAL_PRINTER_LINE_TIMING_H

#include <chrono>
#include <cstddef>
#include <string>

namespace virtual_printer {

struct LineSpeed {
    int baud = 0;           // 0: bytes pass at once
    int linesPerSecond = 0; // 0: the mechanism takes no time
};

class LineTiming {
public:
    using Clock = std::chrono::steady_clock;

    explicit LineTiming(LineSpeed speed);

    // When the next byte of those read at `now` has come in whole; bytes come in order.
    Clock::time_point received(Clock::time_point now);
    // When the command that came in whole at `arrival` has been carried out.
    Clock::time_point executed(const std::string& command, Clock::time_point arrival);
    // When an answer of `size` bytes, ready at `ready`, has gone out whole.
    Clock::time_point sent(std::size_t size, Clock::time_point ready);
    // A new conversation starts on an idle line.
    void reset();

private:
    Clock::duration byteTime;
    Clock::duration lineTime;
    Clock::time_point receiving;
    Clock::time_point working;
    Clock::time_point sending;
};

} // namespace virtual_printer

#endif
