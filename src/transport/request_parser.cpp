#include "transport/http_exception.h"
#include "transport/http_server.h"
#include <array>
#include <string>

namespace {

const std::array<const char*, 7> knownMethods = {"GET",    "HEAD",  "POST",   "PUT",
                                                 "DELETE", "TRACE", "OPTIONS"};

[[noreturn]] void badRequest() {
    throw HttpException(400, "Bad Request");
}

// One line up to "\n", without the "\r" of its CRLF ending.
bool readLine(std::istream& content, std::string& line) {
    if (!std::getline(content, line)) {
        return false;
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return true;
}

bool isKnownMethod(const std::string& method) {
    for (const char* known : knownMethods) {
        if (method == known) {
            return true;
        }
    }
    return false;
}

// The request line and header lines are matched by hand, not with std::regex: the standard
// library's matcher recurses once per character and overflowed the stack on lines of a few
// tens of kilobytes. The rules are those of the patterns in the comments.

// "^([^ ]*) ([^ ]*) HTTP/([^ ]*)$": exactly two spaces, the third part starting "HTTP/".
void parseRequestLine(const std::string& line, HttpRequest& request) {
    static const std::string versionPrefix = "HTTP/";
    const std::size_t first = line.find(' ');
    const std::size_t second = first == std::string::npos ? first : line.find(' ', first + 1);
    if (second == std::string::npos || line.find(' ', second + 1) != std::string::npos ||
        line.compare(second + 1, versionPrefix.size(), versionPrefix) != 0) {
        badRequest();
    }
    request.method = line.substr(0, first);
    request.path = line.substr(first + 1, second - first - 1);
    request.httpVersion = line.substr(second + 1 + versionPrefix.size());
    if (!isKnownMethod(request.method)) {
        badRequest();
    }
    // Other versions frame their messages differently (or not in text at all).
    if (request.httpVersion != "1.1" && request.httpVersion != "1.0") {
        throw HttpException(505, "HTTP Version Not Supported");
    }
}

// "^([^:]*): ?(.*)$": a name up to the first colon, one optional space, and a value in which
// "." admits no carriage return. False for a line that is not a header line, which ends the
// header.
bool parseHeaderLine(const std::string& line, HttpHeaders& headers) {
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos) {
        return false;
    }
    std::size_t valueStart = colon + 1;
    if (valueStart < line.size() && line[valueStart] == ' ') {
        ++valueStart;
    }
    if (line.find('\r', valueStart) != std::string::npos) {
        return false;
    }
    headers[line.substr(0, colon)] = line.substr(valueStart);
    return true;
}

} // namespace

void parseRequest(HttpRequest& request) {
    std::string line;
    if (!readLine(request.content, line)) {
        badRequest();
    }
    parseRequestLine(line, request);
    while (readLine(request.content, line)) {
        if (!parseHeaderLine(line, request.headers)) {
            if (!line.empty()) {
                badRequest();
            }
            return;
        }
    }
    // The stream ended before the blank line that closes the header.
    badRequest();
}
