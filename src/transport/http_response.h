#ifndef TRANSPORT_HTTP_RESPONSE_H
#define TRANSPORT_HTTP_RESPONSE_H

#include "transport/http_request.h"
#include <sstream>
#include <string>

// The answer to one request; handlers write the body into `content`.
class HttpResponse {
public:
    // Moves `content` into `body`, sets "Date" and, unless a handler set it, "Content-Length".
    void finalizeHeaders();
    // Status line, headers, blank line and body, ready to be written.
    std::string serialize() const;

    std::string body;
    int status = 200;
    std::string statusText = "OK";
    HttpHeaders headers;
    std::ostringstream content;
    std::string httpVersion = "1.1";
};

#endif
