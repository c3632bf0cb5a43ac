#include "transport/http_exception.h"

#include <utility>

HttpException::HttpException(int status, std::string message)
    : status(status), message(std::move(message)) {}

HttpException::~HttpException() = default;

Refusal::Refusal(int status, std::string message, std::string caller, std::string explanation,
                 std::string logLine)
    : HttpException(status, std::move(message)), caller(std::move(caller)),
      explanation(std::move(explanation)), logLine(std::move(logLine)) {}
