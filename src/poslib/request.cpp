#include "poslib/request.h"

#include "poslib/frame.h"
#include "poslib/library_error.h"

#include <atomic>
#include <cstdio>

namespace poslib {

namespace {

constexpr unsigned kTokenCount = 10000; // four decimal digits

std::string nextToken() {
    static std::atomic<unsigned> counter{0};
    char token[8];
    std::snprintf(token, sizeof token, "@%04u", counter++ % kTokenCount);
    return token;
}

// The token goes right after the command, where the printer takes it from any frame.
std::string withToken(std::string body, const std::string& token) {
    body.insert(body.find(kTab) + 1, token + kTab);
    return body;
}

} // namespace

Request::Request(const std::string& command, const std::string& parameters)
    : token_(nextToken()), frame_(encodeFrame(withToken(requestBody(command, parameters), token_))),
      answeredAs_(command.compare(0, 1, "!") == 0 ? command.substr(1) : command),
      immediate_(answeredAs_.size() != command.size()) {}

void Request::complete(POSNET_STATUS status, std::vector<ResponseValue> values) {
    state_ = State::Completed;
    status_ = status;
    values_.assign(values.begin(), values.end());
}

POSNET_STATUS Request::status() const {
    if (state_ != State::Completed) {
        throw LibraryError(kWrongCallOrder, "request not completed");
    }
    return status_;
}

bool Request::popValue(ResponseValue& value) {
    if (values_.empty()) {
        return false;
    }
    value = std::move(values_.front());
    values_.pop_front();
    return true;
}

} // namespace poslib
