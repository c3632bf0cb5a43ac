// The byte line to the printer: a serial port or a TCP connection.
#ifndef POSLIB_LINE_H
#define POSLIB_LINE_H

#include "poslib/port_settings.h"

#include <chrono>
#include <memory>
#include <string>

namespace poslib {

using Clock = std::chrono::steady_clock;

class Line {
public:
    virtual ~Line() = default;
    // Sends every byte before the deadline, or throws LibraryError(LineLost).
    virtual void write(const std::string& bytes, Clock::time_point deadline) = 0;
    // What arrives before the deadline, empty when nothing did; throws LibraryError(LineLost)
    // when the port or the peer is gone.
    virtual std::string read(Clock::time_point deadline) = 0;
};

// Opens the port the settings name (COMn, an absolute device path, or tcp://HOST:PORT);
// throws LibraryError(PortNotOpened) when it cannot.
std::unique_ptr<Line> openLine(const PortSettings& settings);

} // namespace poslib

#endif
