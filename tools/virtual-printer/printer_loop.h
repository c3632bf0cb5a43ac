// The printer's one thread: reads frames from the conversation, answers them (late, when told
// to), closes the line when told to, is switched on again by SIGUSR1, and ends on SIGINT or
// SIGTERM.
#ifndef VIRTUAL_PRINTER_PRINTER_LOOP_H
#define VIRTUAL_PRINTER_PRINTER_LOOP_H

#include "endpoint.h"
#include "line_timing.h"
#include "poslib/frame.h"
#include "session.h"

#include <chrono>
#include <deque>
#include <string>

namespace virtual_printer {

class PrinterLoop {
public:
    PrinterLoop(Endpoint& endpoint, Session& session, std::chrono::milliseconds delay,
                LineSpeed speed, int queueLimit)
        : endpoint(endpoint), session(session), delay(delay), timing(speed),
          queueLimit(static_cast<std::size_t>(queueLimit)) {}

    // Serves until signalFd (a signalfd for SIGINT, SIGTERM and SIGUSR1) carries SIGINT or
    // SIGTERM.
    void run(int signalFd);

private:
    using Clock = std::chrono::steady_clock;
    struct Scheduled {
        Clock::time_point due;
        std::string frame;
        bool hangUp; // close the line here instead of sending a frame
    };

    bool stopSignalled(int signalFd);
    void receive();
    void schedule(const poslib::DecodedFrame& frame, Clock::time_point arrival);
    void scheduleAnswer(Reaction reaction, Clock::time_point ready);
    bool queueFull(Clock::time_point arrival);
    void send();
    void takeDueAnswers();
    void write();
    void endConversation();
    int pollTimeout() const;

    Endpoint& endpoint;
    Session& session;
    std::chrono::milliseconds delay;
    LineTiming timing;
    std::size_t queueLimit;
    int conversation = -1;
    poslib::FrameDecoder decoder;
    std::deque<Scheduled> scheduled;
    std::deque<Clock::time_point> queued; // when each command in the input queue is done
    std::string outgoing;
    bool closing = false;       // a hang-up is scheduled: later frames are not taken
    bool closeWhenSent = false; // the hang-up is due: close once outgoing has gone
    bool switchedOff = false;   // every connection is hung up at once
};

} // namespace virtual_printer

#endif
