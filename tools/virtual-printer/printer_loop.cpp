#include "printer_loop.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace virtual_printer {

namespace {

// Line noise without STX, so that no frame ever starts in it.
const std::string lineNoise(65536, 'x');

} // namespace

void PrinterLoop::run(int signalFd) {
    if (endpoint_.listeningDescriptor() < 0) {
        conversation_ = endpoint_.accept();
    }
    for (;;) {
        std::vector<pollfd> watched = {{signalFd, POLLIN, 0}};
        if (conversation_ >= 0) {
            const bool sending = !outgoing_.empty() || session_.chattering();
            const short events = sending ? POLLIN | POLLOUT : POLLIN;
            watched.push_back({conversation_, events, 0});
        } else {
            watched.push_back({endpoint_.listeningDescriptor(), POLLIN, 0});
        }
        if (::poll(watched.data(), watched.size(), pollTimeout()) < 0 && errno != EINTR) {
            throw std::runtime_error(std::string("poll: ") + std::strerror(errno));
        }
        if (watched[0].revents != 0) {
            return;
        }
        if (conversation_ < 0 && watched[1].revents != 0) {
            conversation_ = endpoint_.accept();
        } else if (conversation_ >= 0 && (watched[1].revents & (POLLIN | POLLHUP | POLLERR))) {
            receive();
        }
        send();
    }
}

void PrinterLoop::receive() {
    char buffer[4096];
    const ssize_t count = ::read(conversation_, buffer, sizeof buffer);
    if (count < 0 && (errno == EAGAIN || errno == EINTR)) {
        return;
    }
    if (count <= 0) {
        endConversation();
        return;
    }
    // Byte by byte, so that each frame is taken when its last byte has come down the line.
    // Frames behind one that closes the line never reach the printer, as on a line cut there.
    const Clock::time_point now = Clock::now();
    for (ssize_t i = 0; i < count && !closing_; ++i) {
        const Clock::time_point arrival = timing_.received(now);
        decoder_.feed(buffer + i, 1);
        while (!closing_) {
            const std::optional<poslib::DecodedFrame> frame = decoder_.next();
            if (!frame) {
                break;
            }
            schedule(*frame, arrival);
        }
    }
}

void PrinterLoop::schedule(const poslib::DecodedFrame& frame, Clock::time_point arrival) {
    const std::string command = poslib::splitBody(frame.body).command;
    const bool immediate = command.compare(0, 1, "!") == 0;
    if (!immediate && queueFull(arrival)) {
        scheduleAnswer(session_.overflow(frame), arrival);
        return;
    }
    Reaction reaction = session_.answer(frame);
    const Clock::time_point ready = timing_.executed(command, arrival) + delay_;
    if (!immediate) {
        queued_.push_back(ready);
    }
    scheduleAnswer(std::move(reaction), ready);
}

// Answers keep the order of their commands: an early one waits behind a later one's.
void PrinterLoop::scheduleAnswer(Reaction reaction, Clock::time_point ready) {
    if (reaction.frame) {
        const Clock::time_point sent = timing_.sent(reaction.frame->size(), ready);
        scheduled_.push_back({sent, std::move(*reaction.frame), false});
    }
    if (reaction.hangUp) {
        scheduled_.push_back({ready, {}, true});
        closing_ = true;
    }
}

void PrinterLoop::send() {
    takeDueAnswers();
    if (session_.chattering() && outgoing_.size() < lineNoise.size()) {
        outgoing_ += lineNoise;
    }
    if (conversation_ >= 0 && !outgoing_.empty()) {
        write();
    }
    if (closeWhenSent_ && outgoing_.empty()) {
        endConversation();
    }
}

void PrinterLoop::takeDueAnswers() {
    while (!closeWhenSent_ && !scheduled_.empty() && scheduled_.front().due <= Clock::now()) {
        closeWhenSent_ = scheduled_.front().hangUp;
        outgoing_ += scheduled_.front().frame;
        scheduled_.pop_front();
    }
}

void PrinterLoop::write() {
    // send() on a socket so that a host gone away is an error here, not a SIGPIPE.
    const bool socket = endpoint_.listeningDescriptor() >= 0;
    const ssize_t count =
        socket ? ::send(conversation_, outgoing_.data(), outgoing_.size(), MSG_NOSIGNAL)
               : ::write(conversation_, outgoing_.data(), outgoing_.size());
    if (count > 0) {
        outgoing_.erase(0, static_cast<std::size_t>(count));
    } else if (errno != EAGAIN && errno != EINTR) {
        endConversation();
    }
}

void PrinterLoop::endConversation() {
    endpoint_.hangUp(conversation_);
    conversation_ = -1;
    decoder_.reset();
    scheduled_.clear();
    queued_.clear();
    outgoing_.clear();
    closing_ = false;
    closeWhenSent_ = false;
    timing_.reset();
}

bool PrinterLoop::queueFull(Clock::time_point arrival) {
    while (!queued_.empty() && queued_.front() <= arrival) {
        queued_.pop_front();
    }
    return queueLimit_ > 0 && queued_.size() >= queueLimit_;
}

int PrinterLoop::pollTimeout() const {
    if (scheduled_.empty()) {
        return -1;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(scheduled_.front().due -
                                                                            Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) + 1 : 0;
}

} // namespace virtual_printer
