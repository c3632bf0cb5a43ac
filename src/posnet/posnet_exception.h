#ifndef POSNET_POSNET_EXCEPTION_H
#define POSNET_POSNET_EXCEPTION_H

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

#endif
