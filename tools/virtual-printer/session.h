// Frames in, answer frames out: the printer's side of the protocol, with the faults it was
// told to show.
#ifndef VIRTUAL_PRINTER_SESSION_H
#define VIRTUAL_PRINTER_SESSION_H

#include "fiscal_printer.h"
#include "poslib/frame.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace virtual_printer {

// Answer the occurrence-th command of this name (counted from 1) with "?number" instead of
// executing it.
struct Refusal {
    std::string command;
    int occurrence;
    int number;
};

struct FaultPlan {
    std::vector<Refusal> refusals;
    std::optional<int> silentAfter;  // frames answered before the printer stops answering
    std::optional<int> chatterAfter; // frames answered before it sends noise without end
};

class Session {
public:
    Session(FiscalPrinter& printer, FaultPlan faults)
        : printer_(printer), faults_(std::move(faults)) {}

    // The answer frame, or nothing once the printer has gone silent or chatters.
    std::optional<std::string> answer(const poslib::DecodedFrame& frame);
    // True once the line should carry noise that is never a frame.
    bool chattering() const { return faults_.chatterAfter && received_ >= *faults_.chatterAfter; }

private:
    std::string answerBody(const poslib::DecodedFrame& frame);
    std::string answerCommand(const Command& command);
    std::optional<int> injectedRefusal(const std::string& command);

    FiscalPrinter& printer_;
    FaultPlan faults_;
    int received_ = 0;
    std::map<std::string, int> receivedByName_;
};

} // namespace virtual_printer

#endif
