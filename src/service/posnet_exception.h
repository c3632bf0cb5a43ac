// The answers to the printer's errors: every route that reaches the printer answers them
// through rethrowAsAnswer().
#ifndef SERVICE_POSNET_EXCEPTION_H
#define SERVICE_POSNET_EXCEPTION_H

#include "posnet/document_in_doubt.h"
#include "posnet/printer_errors.h"
#include "rest/rest_exception.h"

// A failed library call, answered with 500 and a body naming the call and the library's
// Polish description of the code.
class PosnetException : public RestException {
public:
    explicit PosnetException(const PosnetError& error);
    ~PosnetException() override;
};

// A document whose closing answer was lost and whose fate the printer could not tell:
// answered as the lost line is (500, its code and call), with "outcome": "unknown" and a
// message that tells the cashier to look at the printer before printing it again.
class OutcomeUnknownException : public RestException {
public:
    explicit OutcomeUnknownException(const DocumentOutcomeUnknown& error);
};

// The body of an OutcomeUnknownException for a document whose answer was never seen.
Json::Value outcomeUnknownBody(DocumentKind kind);

// What the cashier is told when it is not known whether the document was printed.
const char* outcomeUnknownMessage(DocumentKind kind);

// Called while a PrinterError is being handled: throws its answer, a RestException with
// status 500 (PosnetException, OutcomeUnknownException, or the texts for no connection and
// for an unusable VAT rate).
[[noreturn]] void rethrowAsAnswer();

#endif
