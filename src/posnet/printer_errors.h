// What the printer throws when a command cannot be carried out. Each names what happened in
// the printer's own terms; the service decides what its caller is answered.
#ifndef POSNET_PRINTER_ERRORS_H
#define POSNET_PRINTER_ERRORS_H

#include "poslib/posnet.h"
#include "posnet/document_in_doubt.h"
#include <stdexcept>
#include <string>

class PrinterError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A library call failed, or the printer refused the command.
class PosnetError : public PrinterError {
public:
    // `text`: the library's Polish description of the code, as UTF-8.
    PosnetError(POSNET_STATUS code, const std::string& text, const std::string& call);

    const POSNET_STATUS code;
    const std::string text;
    // The library call that failed, such as "POS_PostRequest()".
    const std::string call;
};

// No connection is open; nothing reached the library.
class PrinterNotConnected : public PrinterError {
public:
    PrinterNotConnected();
};

// The line was lost after a document's closing command was sent, and the printer could not
// tell whether the document was completed.
class DocumentOutcomeUnknown : public PrinterError {
public:
    DocumentOutcomeUnknown(const PosnetError& lostLine, DocumentKind kind);

    const PosnetError lostLine;
    const DocumentKind kind;
};

// The printer reported a VAT rate that is not a rate (negative, beyond 101, not finite).
class UnusableVatRate : public PrinterError {
public:
    // `received`: the printer's text as UTF-8.
    UnusableVatRate(const std::string& rate, const std::string& received);

    // The rate's name, "va" to "vg".
    const std::string rate;
    const std::string received;
};

// The printer answered a figure that is not what its field holds.
class UnreadableAnswer : public PrinterError {
public:
    // `received`: the printer's text as UTF-8.
    UnreadableAnswer(const std::string& field, const std::string& received);

    // The answer's field, such as "cs".
    const std::string field;
    const std::string received;
};

#endif
