// Text from a request (a path, an origin, a port name) as it may appear in a log line.
#ifndef LOGGING_LOG_TEXT_H
#define LOGGING_LOG_TEXT_H

#include <cstddef>
#include <string>

constexpr std::size_t loggedTextLimit = 200;

// `text` with control characters and backslashes escaped ("\n", "\x1b", "\\"), so that a
// caller cannot start a forged log line, and cut after `limit` bytes (never inside a UTF-8
// character) with "... [N more bytes]" naming how much was left out, so that a caller
// cannot flood the log.
std::string loggableText(const std::string& text, std::size_t limit = loggedTextLimit);

#endif
