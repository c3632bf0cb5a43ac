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
    if (!line) {
        throw LibraryError(LineLost, "line lost earlier");
    }
    request->markPosted(!synchronized);
    if (request->immediate()) {
        immediateRequests.push_back(request);
    } else {
        queuedRequests.push_back(request);
    }
    try {
        line->write(request->frame(), Clock::now() + writeLimit);
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
        const std::string bytes = line->read(deadline);
        decoder.feed(bytes.data(), bytes.size());
    } catch (const LibraryError& error) {
        lose(error);
    }
    while (const std::optional<DecodedFrame> frame = decoder.next()) {
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
    if (!queuedRequests.empty() || !immediateRequests.empty()) {
        lose(LibraryError(LineLost, std::string(error.what()) + " that names no command"));
    }
}

std::shared_ptr<Request> Connection::addresseeOf(const Answer& answer) {
    if (!answer.token.empty()) {
        const std::shared_ptr<Request> tokened = withToken(answer.token);
        synchronized = synchronized || tokened;
        return tokened;
    }
    if (answer.command == "ERR") {
        return oldestWaiting();
    }
    // Whether a printer echoes the token of a "!" command is not settled, and a status answer
    // that comes late only tells an older status: those take an answer of their name anyway.
    const auto immediate =
        std::find_if(immediateRequests.begin(), immediateRequests.end(),
                     [&](const auto& request) { return request->answersAs(answer.command); });
    if (immediate != immediateRequests.end()) {
        return *immediate;
    }
    if (!queuedRequests.empty() && !queuedRequests.front()->tokened() &&
        queuedRequests.front()->answersAs(answer.command)) {
        return queuedRequests.front();
    }
    return nullptr;
}

std::shared_ptr<Request> Connection::withToken(const std::string& token) {
    const auto hasToken = [&](const auto& request) { return request->token() == token; };
    const auto queued = std::find_if(queuedRequests.begin(), queuedRequests.end(), hasToken);
    if (queued != queuedRequests.end()) {
        return *queued;
    }
    const auto immediate =
        std::find_if(immediateRequests.begin(), immediateRequests.end(), hasToken);
    return immediate != immediateRequests.end() ? *immediate : nullptr;
}

std::shared_ptr<Request> Connection::oldestWaiting() {
    if (!queuedRequests.empty()) {
        return queuedRequests.front();
    }
    return immediateRequests.empty() ? nullptr : immediateRequests.front();
}

void Connection::forget(const std::shared_ptr<Request>& request) {
    queuedRequests.erase(std::remove(queuedRequests.begin(), queuedRequests.end(), request),
                         queuedRequests.end());
    immediateRequests.erase(
        std::remove(immediateRequests.begin(), immediateRequests.end(), request),
        immediateRequests.end());
}

void Connection::lose(const LibraryError& error) {
    line.reset();
    for (const auto& request : queuedRequests) {
        request->complete(LineLost, {});
    }
    for (const auto& request : immediateRequests) {
        request->complete(LineLost, {});
    }
    queuedRequests.clear();
    immediateRequests.clear();
    throw LibraryError(LineLost, error.what());
}

} // namespace poslib
