#ifndef POSNET_POSNET_EXCEPTION_H
#define POSNET_POSNET_EXCEPTION_H

#include "posnet/document_in_doubt.h"
#include "posnet/posnet.h"
#include "rest/rest_exception.h"
#include <string>

// A failed library call, answered with 500 and a body naming the call and the library's
// Polish description of the code.
class PosnetException : public RestException {
public:
    PosnetException(POSNET_STATUS code, const std::string& callName);
    ~PosnetException() override;

    // The library's code, as the body carries it.
    POSNET_STATUS code() const;
};

// A document whose closing answer was lost and whose fate the printer could not tell:
// answered as the lost line is (500, its code and call), with "outcome": "unknown" and a
// message that tells the cashier to look at the printer before printing it again.
class OutcomeUnknownException : public RestException {
public:
    OutcomeUnknownException(const PosnetException& lostLine, DocumentKind kind);
};

#endif
