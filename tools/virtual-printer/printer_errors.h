// How the simulated printer refuses: a frame error (answered as an ERR frame) or a command
// error (answered as "?nnnn" after the command's name), each with the number
// printer_error_numbers.h gives for the situation its name describes.
#ifndef VIRTUAL_PRINTER_PRINTER_ERRORS_H
#define VIRTUAL_PRINTER_PRINTER_ERRORS_H

#include "poslib/printer_error_numbers.h"

#include <string>

namespace virtual_printer {

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
