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

// A refusal that any web page could make the program repeat many times a second: of who
// sent the request, or of a header too large to be read. Its answer is {"exception":
// explanation}; its log line is collapsed with the other refusals of the same caller or kind
// (see RefusalLog), so that no caller can flood the log.
class Refusal : public HttpException {
public:
    Refusal(int status, std::string message, std::string caller, std::string explanation,
            std::string logLine);

    std::string caller;
    std::string explanation;
    std::string logLine;
};

#endif
