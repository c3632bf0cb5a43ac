// Frames in, answer frames out: the printer's side of the protocol, with the faults it was
// told to show.
#ifndef VIRTUAL_PRINTER_SESSION_H
#define VIRTUAL_PRINTER_SESSION_H

#include "answer_store.h"
#include "fiscal_printer.h"
#include "poslib/frame.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace virtual_printer {

// The occurrence-th command of this name (counted from 1, "!" left out).
struct Cue {
    std::string command;
    int occurrence;
};

// Answer the cued command with "?number" instead of executing it.
struct Refusal : Cue {
    int number;
};

struct FaultPlan {
    std::vector<Refusal> refusals;
    std::vector<Cue> droppedAnswers; // executed, the answer kept for rpt but never sent
    std::vector<Cue> closesAfter;    // executed, then the line closed instead of the answer
    std::vector<Cue> closesBefore;   // not executed: the line closed instead
    std::vector<Cue> damagedAnswers; // executed, the answer sent with a wrong checksum digit
    std::vector<Cue> switchesOff;    // executed, then the line closed and every connection
                                     // hung up until the printer is switched on again
    std::optional<int> silentAfter;  // frames answered before the printer stops answering
    std::optional<int> chatterAfter; // frames answered before it sends noise without end
};

// What goes back on the line for one frame.
struct Reaction {
    std::optional<std::string> frame; // nothing when no answer is sent
    bool hangUp = false;              // close the line once the earlier answers are sent
    bool switchOff = false;           // and hang up every connection until switched on
};

class Session {
public:
    // immediateNames: answer "!sdev" as "!sdev" rather than "sdev" (printers differ).
    Session(FiscalPrinter& printer, FaultPlan faults, bool immediateNames = false)
        : printer(printer), faults(std::move(faults)), immediateNames(immediateNames) {}

    // Nothing to send once the printer has gone silent or chatters.
    Reaction answer(const poslib::DecodedFrame& frame);
    // The frame error of a command the printer's input queue has no room for.
    Reaction overflow(const poslib::DecodedFrame& frame);
    // True once the line should carry noise that is never a frame.
    bool chattering() const { return faults.chatterAfter && received >= *faults.chatterAfter; }

private:
    // True once the printer has stopped answering or chatters.
    bool silent() const {
        return (faults.silentAfter && received >= *faults.silentAfter) || chattering();
    }
    Reaction run(const Command& command);
    std::string execute(const Command& command, int occurrence);
    std::string repeat(const Command& command) const;
    std::string head(const Command& command) const;
    std::string kept(const std::string& token, const std::string& frame);

    FiscalPrinter& printer;
    FaultPlan faults;
    bool immediateNames;
    int received = 0;
    std::map<std::string, int> receivedByName;
    AnswerStore answers;
};

} // namespace virtual_printer

#endif
