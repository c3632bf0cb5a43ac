// The conversation on one open line: frames out, answers back to the requests they belong to.
#ifndef POSLIB_CONNECTION_H
#define POSLIB_CONNECTION_H

#include "poslib/frame.h"
#include "poslib/line.h"
#include "poslib/request.h"

#include <deque>
#include <memory>
#include <vector>

namespace poslib {

class LibraryError;

// The printer answers queued commands in the order sent and immediate ones ("!sprn") at
// once, so an answer goes to the waiting immediate request of its name, or else to the
// oldest queued request. Once the line is lost (port gone, peer closed, no answer in time)
// every request still waiting ends with kLineLost, and so does every later one: a late
// answer could otherwise be taken for the answer to the next command.
class Connection {
public:
    explicit Connection(std::unique_ptr<Line> line) : line_(std::move(line)) {}

    // Sends the request's frame; throws LibraryError (kWrongCallOrder, kLineLost).
    void post(const std::shared_ptr<Request>& request);
    // Reads until the request has its answer; throws LibraryError(kLineLost) when the line
    // is lost or no answer came within the limit.
    void waitFor(const Request& request, std::chrono::milliseconds limit);

private:
    void receiveUntil(Clock::time_point deadline);
    void deliver(const DecodedFrame& frame);
    std::shared_ptr<Request> addresseeOf(const std::string& command);
    std::shared_ptr<Request> oldestWaiting();
    void forget(const std::shared_ptr<Request>& request);
    [[noreturn]] void lose(const LibraryError& error);

    std::unique_ptr<Line> line_;
    FrameDecoder decoder_;
    std::deque<std::shared_ptr<Request>> queued_;
    std::vector<std::shared_ptr<Request>> immediate_;
};

} // namespace poslib

#endif
