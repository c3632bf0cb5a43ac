// Values that come from outside (request paths, port texts, printer answers) as they may
// appear in a log line: a caller must not be able to forge lines or flood the log.
#ifndef LOGGING_LOG_TEXT_H
#define LOGGING_LOG_TEXT_H

#include <cstddef>
#include <string>

constexpr std::size_t longestLoggedValue = 200;

// Control bytes and the backslash escaped ("\n", "\x1b", "\\"); beyond `longest` bytes the
// text is cut at a character boundary and followed by how many bytes were left out.
std::string escapeForLog(const std::string& text, std::size_t longest = longestLoggedValue);

#endif
