// The library's own error codes and the exception that carries one to the POS_ boundary.
#ifndef POSLIB_LIBRARY_ERROR_H
#define POSLIB_LIBRARY_ERROR_H

#include "poslib/posnet.h"

#include <stdexcept>
#include <string>

namespace poslib {

// The printer's own numbers stay below 10000 (four decimal digits in "?nnnn") and never use
// 7 to 9, so 8 and the codes from 10001 up cannot be mistaken for a printer's answer.
enum LibraryCode : POSNET_STATUS {
    LineLost = POSNET_STATUS_DISCONNECTED,
    InvalidHandle = 10001,
    InvalidArgument = 10002,
    PortNotOpened = 10003,
    ControlByteInValue = 10004,
    MalformedRequest = 10005,
    BrokenAnswerFrame = POSNET_STATUS_BROKEN_ANSWER,
    UnexpectedAnswer = POSNET_STATUS_UNEXPECTED_ANSWER,
    WrongCallOrder = 10008,
    NoMoreValues = 10009,
    InternalError = 10010,
};

class LibraryError : public std::runtime_error {
public:
    LibraryError(POSNET_STATUS code, const std::string& detail)
        : std::runtime_error(detail), libraryCode(code) {}
    POSNET_STATUS code() const { return libraryCode; }

private:
    POSNET_STATUS libraryCode;
};

// Polish description in Windows-1250 of a printer number or library code; null when unknown.
const char* errorText(POSNET_STATUS code);

} // namespace poslib

#endif
