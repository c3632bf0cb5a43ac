#include "rest/rest_exception.h"

#include <utility>

RestException::RestException(int status, std::string message, Json::Value body)
    : HttpException(status, std::move(message)), body(std::move(body)) {}
