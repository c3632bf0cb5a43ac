#include "session.h"

#include "printer_errors.h"

namespace virtual_printer {

namespace {

int faultNumber(poslib::FrameFault fault) {
    switch (fault) {
    case poslib::FrameFault::BadChecksum:
        return frame_error::kBadChecksum;
    case poslib::FrameFault::MissingChecksum:
        return frame_error::kMissingChecksum;
    case poslib::FrameFault::TooLong:
        return frame_error::kInputBufferFull;
    default:
        return frame_error::kFrameError;
    }
}

std::string errBody(const FrameError& error) {
    std::vector<std::string> fields = {"?" + std::to_string(error.number)};
    if (!error.command.empty()) {
        fields.push_back("cm" + error.command);
        if (!error.field.empty()) {
            fields.push_back("fd" + error.field);
        }
    }
    return poslib::composeBody("ERR", fields);
}

std::string commandHead(const Command& command) {
    std::string head = command.name + poslib::kTab;
    if (!command.token.empty()) {
        head += command.token + poslib::kTab;
    }
    return head;
}

} // namespace

std::optional<std::string> Session::answer(const poslib::DecodedFrame& frame) {
    if ((faults_.silentAfter && received_ >= *faults_.silentAfter) || chattering()) {
        return std::nullopt;
    }
    ++received_;
    return poslib::encodeFrame(answerBody(frame));
}

std::string Session::answerBody(const poslib::DecodedFrame& frame) {
    try {
        if (frame.fault != poslib::FrameFault::None) {
            throw FrameError{faultNumber(frame.fault), {}, {}};
        }
        return answerCommand(parseCommand(frame.body));
    } catch (const FrameError& error) {
        return errBody(error);
    }
}

std::string Session::answerCommand(const Command& command) {
    if (const std::optional<int> number = injectedRefusal(command.name)) {
        return commandHead(command) + "?" + std::to_string(*number);
    }
    try {
        std::string body = commandHead(command);
        for (const auto& [name, value] : printer_.execute(command)) {
            body += name + value + poslib::kTab;
        }
        return body;
    } catch (const CommandRefused& refusal) {
        return commandHead(command) + "?" + std::to_string(refusal.number);
    }
}

std::optional<int> Session::injectedRefusal(const std::string& command) {
    const int occurrence = ++receivedByName_[command];
    for (const Refusal& refusal : faults_.refusals) {
        if (refusal.command == command && refusal.occurrence == occurrence) {
            return refusal.number;
        }
    }
    return std::nullopt;
}

} // namespace virtual_printer
