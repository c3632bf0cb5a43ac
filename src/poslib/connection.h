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

// An answer goes to the waiting request whose token it echoes; one that echoes no waiting
// request's token answers a command given up on (before a timeout, or before the line was
// opened again) and is dropped. An answer without a token goes to the waiting immediate
// request ("!sprn") of its name, or else to the oldest queued request when that is untokened
// and has its name; a frame error, which may carry no token, to the oldest waiting request. A
// broken frame goes to the waiting request whose token it shows; one that shows none loses
// the line. Once the line is lost (port gone, peer closed, no answer in time, a broken frame
// of no known request) every request still waiting ends with LineLost, and so does every
// later one on this connection.
//
// Tokens where they pay: a late answer to a command given up on can only be on the line until
// a command posted after it has its own answer, because the printer answers in order. So
// frames carry their token until the first answer that echoes one arrives on this connection
// (a connection starts anew after every lost line or run-out wait); from then on only the
// requests whose answer may be asked for again (wantToken(), "rpt") carry one.
class Connection {
public:
    explicit Connection(std::unique_ptr<Line> line) : line(std::move(line)) {}

    // Sends the request's frame; throws LibraryError (WrongCallOrder, LineLost).
    void post(const std::shared_ptr<Request>& request);
    // Reads until the request has its answer; throws LibraryError(LineLost) when the line
    // is lost or no answer came within the limit, however many other bytes arrived.
    void waitFor(const Request& request, std::chrono::milliseconds limit);

private:
    void receiveUntil(Clock::time_point deadline);
    void deliver(const DecodedFrame& frame);
    void deliverBroken(const std::string& body, const LibraryError& error);
    std::shared_ptr<Request> addresseeOf(const Answer& answer);
    std::shared_ptr<Request> withToken(const std::string& token);
    std::shared_ptr<Request> oldestWaiting();
    void forget(const std::shared_ptr<Request>& request);
    [[noreturn]] void lose(const LibraryError& error);

    std::unique_ptr<Line> line;
    FrameDecoder decoder;
    std::deque<std::shared_ptr<Request>> queuedRequests;
    std::vector<std::shared_ptr<Request>> immediateRequests;
    bool synchronized = false;
};

} // namespace poslib

#endif
