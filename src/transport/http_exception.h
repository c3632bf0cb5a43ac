// An error answered with an HTTP status; not a std::exception on purpose, so that the
// exception handlers can tell protocol answers from failures.
#ifndef TRANSPORT_HTTP_EXCEPTION_H
#define TRANSPORT_HTTP_EXCEPTION_H

#include <string>

class HttpException {
public:
    HttpException(int status, std::string message);
    virtual ~HttpException();

    int status;
    std::string message;
};

#endif
