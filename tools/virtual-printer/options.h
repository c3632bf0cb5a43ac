// The virtual printer's command line.
#ifndef VIRTUAL_PRINTER_OPTIONS_H
#define VIRTUAL_PRINTER_OPTIONS_H

#include "fiscal_printer.h"
#include "line_timing.h"
#include "session.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace virtual_printer {

struct Options {
    bool help = false;
    std::string ptyPath;        // --pty
    std::optional<int> tcpPort; // --tcp
    std::string journalPath = "virtual-printer-journal.txt";
    PrinterSetup setup;
    FaultPlan faults;
    bool immediateNames = false; // --immediate-names
    std::chrono::milliseconds delay{0};
    LineSpeed speed; // --baud, --print-speed
    // --queue-limit: commands held before one is answered "input queue full"; 0: any number
    int queueLimit = 0;
};

// Throws std::invalid_argument with a message for the user.
Options parseOptions(const std::vector<std::string>& arguments);

std::string helpText();

} // namespace virtual_printer

#endif
