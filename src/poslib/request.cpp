#include "poslib/request.h"

#include "poslib/frame.h"
#include "poslib/library_error.h"

namespace poslib {

Request::Request(const std::string& command, const std::string& parameters)
    : frame_(encodeFrame(requestBody(command, parameters))),
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
