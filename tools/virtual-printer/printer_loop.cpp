#include "printer_loop.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <poll.h>
#include <stdexcept>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace virtual_printer {

namespace {

// Line noise without STX, so that no frame ever starts in it.
const std::string lineNoise(65536, 'x');

} // namespace

void PrinterLoop::run(int signalFd) {
    if (endpoint.listeningDescriptor() < 0) {
        conversation = endpoint.accept();
    }
    for (;;) {
        std::vector<pollfd> watched = {{signalFd, POLLIN, 0}};
        if (conversation >= 0) {
            const bool sending = !outgoing.empty() || session.chattering();
            const short events = sending ? POLLIN | POLLOUT : POLLIN;
            watched.push_back({conversation, events, 0});
        } else {
            watched.push_back({endpoint.listeningDescriptor(), POLLIN, 0});
        }
        if (::poll(watched.data(), watched.size(), pollTimeout()) < 0 && errno != EINTR) {
            throw std::runtime_error(std::string("poll: ") + std::strerror(errno));
        }
        if (watched[0].revents != 0 && stopSignalled(signalFd)) {
            return;
        }
        if (conversation < 0 && watched[1].revents != 0) {
            conversation = endpoint.accept();
            if (switchedOff) {
                endConversation();
            }
        } else if (conversation >= 0 && (watched[1].revents & (POLLIN | POLLHUP | POLLERR))) {
            receive();
        }
        send();
    }
}

// True for SIGINT and SIGTERM; SIGUSR1 switches the printer on again instead.
bool PrinterLoop::stopSignalled(int signalFd) {
    signalfd_siginfo signal{};
    if (::read(signalFd, &signal, sizeof signal) == sizeof signal && signal.ssi_signo == SIGUSR1) {
        switchedOff = false;
        return false;
    }
    return true;
}

void PrinterLoop::receive() {
    char buffer[4096];
    const ssize_t count = ::read(conversation, buffer, sizeof buffer);
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
    for (ssize_t i = 0; i < count && !closing; ++i) {
        const Clock::time_point arrival = timing.received(now);
        decoder.feed(buffer + i, 1);
        while (!closing) {
            const std::optional<poslib::DecodedFrame> frame = decoder.next();
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
        scheduleAnswer(session.overflow(frame), arrival);
        return;
    }
    Reaction reaction = session.answer(frame);
    const Clock::time_point ready = timing.executed(command, arrival) + delay;
    if (!immediate) {
        queued.push_back(ready);
    }
    scheduleAnswer(std::move(reaction), ready);
}

// Answers keep the order of their commands: an early one waits behind a later one's.
void PrinterLoop::scheduleAnswer(Reaction reaction, Clock::time_point ready) {
    if (reaction.frame) {
        const Clock::time_point sent = timing.sent(reaction.frame->size(), ready);
        scheduled.push_back({sent, std::move(*reaction.frame), false});
    }
    if (reaction.hangUp) {
        scheduled.push_back({ready, {}, true});
        closing = true;
    }
    switchedOff = switchedOff || reaction.switchOff;
}

void PrinterLoop::send() {
    takeDueAnswers();
    if (session.chattering() && outgoing.size() < lineNoise.size()) {
        outgoing += lineNoise;
    }
    if (conversation >= 0 && !outgoing.empty()) {
        write();
    }
    if (closeWhenSent && outgoing.empty()) {
        endConversation();
    }
}

void PrinterLoop::takeDueAnswers() {
    while (!closeWhenSent && !scheduled.empty() && scheduled.front().due <= Clock::now()) {
        closeWhenSent = scheduled.front().hangUp;
        outgoing += scheduled.front().frame;
        scheduled.pop_front();
    }
}

void PrinterLoop::write() {
    // send() on a socket so that a host gone away is an error here, not a SIGPIPE.
    const bool socket = endpoint.listeningDescriptor() >= 0;
    const ssize_t count = socket
                              ? ::send(conversation, outgoing.data(), outgoing.size(), MSG_NOSIGNAL)
                              : ::write(conversation, outgoing.data(), outgoing.size());
    if (count > 0) {
        outgoing.erase(0, static_cast<std::size_t>(count));
    } else if (errno != EAGAIN && errno != EINTR) {
        endConversation();
    }
}

void PrinterLoop::endConversation() {
    endpoint.hangUp(conversation);
    conversation = -1;
    decoder.reset();
    scheduled.clear();
    queued.clear();
    outgoing.clear();
    closing = false;
    closeWhenSent = false;
    timing.reset();
}

bool PrinterLoop::queueFull(Clock::time_point arrival) {
    while (!queued.empty() && queued.front() <= arrival) {
        queued.pop_front();
    }
    return queueLimit > 0 && queued.size() >= queueLimit;
}

int PrinterLoop::pollTimeout() const {
    if (scheduled.empty()) {
        return -1;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(scheduled.front().due - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) + 1 : 0;
}

} // namespace virtual_printer
