#include "transport/http_exception.h"

#include <utility>

HttpException::HttpException(int status, std::string message)
    : status(status), message(std::move(message)) {}

HttpException::~HttpException() = default;
