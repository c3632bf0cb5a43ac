// From the caller's command and parameter text to the frame body, and from an answer frame's
// body back to a status and values.
#ifndef POSLIB_REQUEST_TEXT_H
#define POSLIB_REQUEST_TEXT_H

#include "poslib/posnet.h"

#include <string>
#include <vector>

namespace poslib {

// The command ("trline", or "!sprn" for one executed at once) and the parameter text: entries
// "name,value" joined by LF, for example "na,Chleb\nvt,0" -> "trline TAB naChleb TAB vt0 TAB".
// Throws LibraryError: MalformedRequest for a bad command or entry, ControlByteInValue for
// a value holding a byte below 0x20, which would split or end the frame on the wire.
std::string requestBody(const std::string& command, const std::string& parameters);

struct ResponseValue {
    std::string name;
    std::string value;
};

struct Answer {
    std::string command;  // as answered, "ERR" for a frame error
    std::string token;    // the echoed "@nnnn", or empty
    POSNET_STATUS status; // 0, or the printer's "?nnnn" number
    std::vector<ResponseValue> values;
};

// The first non-zero "?nnnn" is the status, whatever follows it. An ERR frame is a failure
// whatever it holds: one without a usable non-zero number gets UnexpectedAnswer, and no
// values. Throws LibraryError(BrokenAnswerFrame) for any other body that is not an answer.
Answer parseAnswer(const std::string& body);

} // namespace poslib

#endif
