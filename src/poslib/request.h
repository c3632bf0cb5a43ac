// One command from its creation to its answer.
#ifndef POSLIB_REQUEST_H
#define POSLIB_REQUEST_H

#include "poslib/request_text.h"

#include <deque>
#include <string>

namespace poslib {

// Every frame carries a token ("@nnnn") of its own, which the printer echoes in its answer, so
// that an answer can be told from one to an earlier command. Tokens count up across the
// process and come round again only after 10000 commands.
class Request {
public:
    enum class State { Created, Posted, Completed };

    // command as the caller gave it ("trinit", "!sprn"); parameters as for requestBody().
    Request(const std::string& command, const std::string& parameters);

    const std::string& frame() const { return frame_; }
    const std::string& token() const { return token_; }
    // The name the printer answers with: the command without the "!" of immediate execution.
    const std::string& answeredAs() const { return answeredAs_; }
    bool immediate() const { return immediate_; }
    State state() const { return state_; }

    void markPosted() { state_ = State::Posted; }
    void complete(POSNET_STATUS status, std::vector<ResponseValue> values);

    // Throws LibraryError(kWrongCallOrder) before the answer arrived.
    POSNET_STATUS status() const;
    std::size_t valueCount() const { return values_.size(); }
    // False when no value is left.
    bool popValue(ResponseValue& value);

private:
    std::string token_;
    std::string frame_;
    std::string answeredAs_;
    bool immediate_;
    State state_ = State::Created;
    POSNET_STATUS status_ = 0;
    std::deque<ResponseValue> values_;
};

} // namespace poslib

#endif
