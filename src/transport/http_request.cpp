#include "transport/http_request.h"

#include "transport/http_exception.h"
#include <functional>
#include <limits>

namespace {

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isSpace(char c) {
    return c == ' ' || c == '\t';
}

[[noreturn]] void badLength() {
    throw HttpException(400, "Bad Request");
}

// Only digits, so that "6junk", "-1" or "0x10" are not taken for a length.
unsigned long long decimalNumber(const std::string& text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && isSpace(text[begin])) {
        ++begin;
    }
    while (end > begin && isSpace(text[end - 1])) {
        --end;
    }
    if (begin == end) {
        badLength();
    }
    constexpr unsigned long long largest = std::numeric_limits<unsigned long long>::max();
    unsigned long long value = 0;
    for (std::size_t i = begin; i < end; ++i) {
        const unsigned digit = static_cast<unsigned>(text[i] - '0');
        if (!isDigit(text[i]) || value > (largest - digit) / 10) {
            badLength();
        }
        value = value * 10 + digit;
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
