#ifndef REST_REST_EXCEPTION_H
#define REST_REST_EXCEPTION_H

#include "transport/http_exception.h"
#include <json/value.h>

// An error answered with its status, reason and a JSON body.
class RestException : public HttpException {
public:
    RestException(int status, std::string message, Json::Value body);

    Json::Value body;
};

#endif
