#include "transport/http_request.h"

#include "transport/http_exception.h"
#include <charconv>
#include <functional>
#include <system_error>

namespace {

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

[[noreturn]] void badLength() {
    throw HttpException(400, "Bad Request");
}

// Digits only, spaces around them aside: "6junk", "-1", "+6" or "0x10" are not taken for a
// length, nor is a number beyond 64 bits.
unsigned long long decimalNumber(const std::string& text) {
    const std::size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) {
        badLength();
    }
    const char* const end = text.data() + text.find_last_not_of(" \t") + 1;
    unsigned long long value = 0;
    const auto result = std::from_chars(text.data() + begin, end, value);
    if (result.ec != std::errc() || result.ptr != end) {
        badLength();
    }
    return value;
}

} // namespace

std::size_t HeaderNameHash::operator()(const std::string& name) const {
    std::string lower(name);
    for (char& c : lower) {
        c = lowerAscii(c);
    }
    return std::hash<std::string>()(lower);
}

bool HeaderNameEqual::operator()(const std::string& left, const std::string& right) const {
    if (left.size() != right.size()) {
        return false;
    }
    for (std::size_t i = 0; i < left.size(); ++i) {
        if (lowerAscii(left[i]) != lowerAscii(right[i])) {
            return false;
        }
    }
    return true;
}

HttpRequest::HttpRequest() : content(&buffer) {}

unsigned long long announcedBodyLength(const HttpRequest& request) {
    const auto header = request.headers.find("Content-Length");
    return header == request.headers.end() ? 0 : decimalNumber(header->second);
}
