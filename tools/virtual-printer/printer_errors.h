// How the simulated printer refuses: a frame error (answered as an ERR frame) or a command
// error (answered as "?nnnn" after the command's name). Numbers as a Posnet printer uses them.
#ifndef VIRTUAL_PRINTER_PRINTER_ERRORS_H
#define VIRTUAL_PRINTER_PRINTER_ERRORS_H

#include <string>

namespace virtual_printer {

namespace frame_error {
constexpr int kUnknownCommand = 1;
constexpr int kMissingField = 2;
constexpr int kFieldConversion = 3;
constexpr int kBadToken = 4;
constexpr int kBadChecksum = 5;
constexpr int kFrameError = 6;
constexpr int kFieldLength = 10;
constexpr int kInputBufferFull = 11;
constexpr int kMissingChecksum = 15;
} // namespace frame_error

namespace command_error {
constexpr int kTotalOutOfRange = 1950;
constexpr int kNoItems = 1992;
constexpr int kBadVatRate = 2000;
constexpr int kTransactionState = 2005;
constexpr int kBadPrice = 2006;
} // namespace command_error

struct FrameError {
    int number;
    std::string command; // empty when the frame had none to name
    std::string field;   // empty when no single field is at fault
};

struct CommandRefused {
    int number;
};

} // namespace virtual_printer

#endif
