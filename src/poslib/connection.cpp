#include "poslib/connection.h"

#include "poslib/library_error.h"

#include <algorithm>

namespace poslib {

namespace {

// A frame of a few hundred bytes needs well under a second at 9600 baud; longer means the
// printer holds CTS down or the port is gone.
constexpr std::chrono::milliseconds writeLimit{5000};

} // namespace

void Connection::post(const std::shared_ptr<Request>& request) {
    if (request->state() != Request::State::Created) {
        throw LibraryError(WrongCallOrder, "request already posted");
    }
    if (!line_) {
        throw LibraryError(LineLost, "line lost earlier");
    }
    request->markPosted(!synchronized_);
    if (request->immediate()) {
        immediate_.push_back(request);
    } else {
        queued_.push_back(request);
    }
    try {
        line_->write(request->frame(), Clock::now() + writeLimit);
    } catch (const LibraryError& error) {
        lose(error);
    }
}

void Connection::waitFor(const Request& request, std::chrono::milliseconds limit) {
    if (request.state() == Request::State::Created) {
        throw LibraryError(WrongCallOrder, "request not posted");
    }
    const Clock::time_point deadline = Clock::now() + limit;
    while (request.state() != Request::State::Completed) {
        // What has arrived by the deadline still counts; a peer that keeps sending bytes that
        // are no answer must not hold the caller beyond it.
        const bool late = Clock::now() >= deadline;
        receiveUntil(deadline);
        if (late && request.state() != Request::State::Completed) {
            lose(LibraryError(LineLost, "no answer within the wait limit"));
        }
    }
    if (request.status() == LineLost) {
        throw LibraryError(LineLost, "line lost");
    }
}

void Connection::receiveUntil(Clock::time_point deadline) {
    try {
        const std::string bytes = line_->read(deadline);
        decoder_.feed(bytes.data(), bytes.size());
    } catch (const LibraryError& error) {
        lose(error);
    }
    while (const std::optional<DecodedFrame> frame = decoder_.next()) {
        deliver(*frame);
    }
}

void Connection::deliver(const DecodedFrame& frame) {
    Answer answer{};
    try {
        if (frame.fault != FrameFault::None) {
            throw LibraryError(BrokenAnswerFrame, "broken answer frame");
        }
        answer = parseAnswer(frame.body);
    } catch (const LibraryError& error) {
        deliverBroken(frame.body, error);
        return;
    }
    const std::shared_ptr<Request> addressee = addresseeOf(answer);
    if (!addressee) {
        return; // an answer to a command given up on, or to none of ours
    }
    forget(addressee);
    if (answer.command != "ERR" && !addressee->answersAs(answer.command)) {
        addressee->complete(UnexpectedAnswer, {});
    } else {
        addressee->complete(answer.status, std::move(answer.values));
    }
}

// Whose answer a broken frame was is known only from a token it still shows. Without one,
// answers and commands can no longer be paired: handing it to the oldest waiting command could
// give a lost closing answer another command's fate, so every waiting command ends as on a
// lost line, and the caller asks the printer what became of its document.
void Connection::deliverBroken(const std::string& body, const LibraryError& error) {
    for (const std::string& field : splitBody(body).fields) {
        if (const std::shared_ptr<Request> named = withToken(field)) {
            forget(named);
            named->complete(error.code(), {});
            return;
        }
    }
    if (!queued_.empty() || !immediate_.empty()) {
        lose(LibraryError(LineLost, std::string(error.what()) + " that names no command"));
    }
}

std::shared_ptr<Request> Connection::addresseeOf(const Answer& answer) {
    if (!answer.token.empty()) {
        const std::shared_ptr<Request> tokened = withToken(answer.token);
        synchronized_ = synchronized_ || tokened;
        return tokened;
    }
    if (answer.command == "ERR") {
        return oldestWaiting();
    }
    // Whether a printer echoes the token of a "!" command is not settled, and a status answer
    // that comes late only tells an older status: those take an answer of their name anyway.
    const auto immediate =
        std::find_if(immediate_.begin(), immediate_.end(),
                     [&](const auto& request) { return request->answersAs(answer.command); });
    if (immediate != immediate_.end()) {
        return *immediate;
    }
    if (!queued_.empty() && !queued_.front()->tokened() &&
        queued_.front()->answersAs(answer.command)) {
        return queued_.front();
    }
    return nullptr;
}

std::shared_ptr<Request> Connection::withToken(const std::string& token) {
    const auto hasToken = [&](const auto& request) { return request->token() == token; };
    const auto queued = std::find_if(queued_.begin(), queued_.end(), hasToken);
    if (queued != queued_.end()) {
        return *queued;
    }
    const auto immediate = std::find_if(immediate_.begin(), immediate_.end(), hasToken);
    return immediate != immediate_.end() ? *immediate : nullptr;
}

std::shared_ptr<Request> Connection::oldestWaiting() {
    if (!queued_.empty()) {
        return queued_.front();
    }
    return immediate_.empty() ? nullptr : immediate_.front();
}

void Connection::forget(const std::shared_ptr<Request>& request) {
    queued_.erase(std::remove(queued_.begin(), queued_.end(), request), queued_.end());
    immediate_.erase(std::remove(immediate_.begin(), immediate_.end(), request), immediate_.end());
}

void Connection::lose(const LibraryError& error) {
    line_.reset();
    for (const auto& request : queued_) {
        request->complete(LineLost, {});
    }
    for (const auto& request : immediate_) {
        request->complete(LineLost, {});
    }
    queued_.clear();
    immediate_.clear();
    throw LibraryError(LineLost, error.what());
}

} // namespace poslib
