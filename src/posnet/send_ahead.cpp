// A receipt's commands go out up to the library's queue length ahead of their answers, so
// that the printer never waits on the line for its next command. The printer runs them in
// order and answers in order, so the first answer that is not a success decides, as it did
// when each command waited for its answer: nothing is sent after it and the commands
// already sent are answered before the error leaves.
#include "poslib/printer_error_numbers.h"
#include "posnet/printer.h"
#include "posnet/request_limits.h"
#include <algorithm>
#include <boost/log/trivial.hpp>

namespace {

// Frame errors of a printer that had no room for a command and did not run it.
bool queueOverrun(POSNET_STATUS status) {
    return status == frame_error::inputBufferFull || status == frame_error::inputQueueFull;
}

bool success(POSNET_STATUS status) {
    return status == 0;
}

} // namespace

// A printer whose queue overran gets one command at a time; when every command from the
// first it had no room for on was refused that way, its receipt is still this sale's and the
// rest follows, otherwise QueueOverrun.
void Printer::runCommands(const std::vector<Command>& commands) {
    auto next = commands.begin();
    if (!oneAtATime) {
        const std::vector<POSNET_STATUS> answers = sendAhead(commands);
        const auto failure = std::find_if_not(answers.begin(), answers.end(), success);
        std::for_each(answers.begin(), failure, [this](POSNET_STATUS) { commandCompleted(); });
        if (failure == answers.end()) {
            return;
        }
        if (!queueOverrun(*failure)) {
            throwPosnetError(*failure, "POS_GetRequestStatus");
        }
        BOOST_LOG_TRIVIAL(warning)
            << "The printer had no room for a command sent ahead (frame error " << *failure
            << "); sending one command at a time";
        oneAtATime = true;
        if (!std::all_of(failure, answers.end(), queueOverrun)) {
            throw QueueOverrun();
        }
        next += failure - answers.begin();
    }
    for (; next != commands.end(); ++next) {
        if (next->answer) {
            *next->answer = optionalAnswer(next->name);
        } else {
            runTransaction(next->name, next->parameters);
        }
    }
}

std::vector<POSNET_STATUS> Printer::sendAhead(const std::vector<Command>& commands) {
    std::vector<POSNET_STATUS> answers;
    std::deque<POSNET_HANDLE> outstanding;
    try {
        for (const Command& command : commands) {
            if (outstanding.size() == static_cast<size_t>(posnet::outputQueueLength)) {
                answers.push_back(takeAnswer(outstanding, commands[answers.size()]));
            }
            if (!answers.empty() && !success(answers.back())) {
                break;
            }
            BOOST_LOG_TRIVIAL(info)
                << "Posnet transaction" << (command.answer ? " with response" : "") << ": "
                << command.name;
            outstanding.push_back(sendRequest(command.name, command.parameters, TokenObserver()));
        }
        while (!outstanding.empty()) {
            answers.push_back(takeAnswer(outstanding, commands[answers.size()]));
        }
    } catch (const PrinterError&) {
        abandon(outstanding);
        throw;
    }
    return answers;
}

// The oldest outstanding command's answer; when the line is lost, every request is given
// back before the connection closes. A question the printer refused, not for want of room,
// counts as answered, empty.
POSNET_STATUS Printer::takeAnswer(std::deque<POSNET_HANDLE>& outstanding, const Command& command) {
    const POSNET_HANDLE request = outstanding.front();
    outstanding.pop_front();
    const POSNET_STATUS waited = library.waitForRequestCompleted(request, POSNET_WAIT_LIMIT_MS);
    if (waited != 0) {
        abandon(outstanding);
        checkRequest(request, waited, "POS_WaitForRequestCompleted()");
    }
    POSNET_STATUS status = library.getRequestStatus(request);
    if (command.answer) {
        *command.answer = success(status) ? responseValues(request) : PosnetResponse();
        if (!success(status) && !queueOverrun(status)) {
            // Told as optionalAnswer() tells it; the printer still prints without the answer.
            commandRefused(posnetError(status, "POS_GetRequestStatus"));
            status = 0;
        }
    }
    library.destroyRequest(request);
    return status;
}

void Printer::abandon(std::deque<POSNET_HANDLE>& outstanding) {
    for (const POSNET_HANDLE request : outstanding) {
        library.destroyRequest(request);
    }
    outstanding.clear();
}
