#include "session.h"

#include "printer_errors.h"

#include <algorithm>

namespace virtual_printer {

namespace {

const std::string repeatCommand = "rpt";

int faultNumber(poslib::FrameFault fault) {
    switch (fault) {
    case poslib::FrameFault::BadChecksum:
        return frame_error::badChecksum;
    case poslib::FrameFault::MissingChecksum:
        return frame_error::missingChecksum;
    case poslib::FrameFault::TooLong:
        return frame_error::inputBufferFull;
    default:
        return frame_error::frameError;
    }
}

bool isToken(const std::string& field) {
    return field.size() == 5 && field[0] == '@' &&
           field.find_first_not_of("0123456789", 1) == std::string::npos;
}

// The frame's token even when the frame cannot be taken apart, so that the host learns which
// of its commands the frame error answers.
std::string tokenIn(const std::string& body) {
    const std::vector<std::string> fields = poslib::splitBody(body).fields;
    const auto token = std::find_if(fields.begin(), fields.end(), isToken);
    return token == fields.end() ? std::string() : *token;
}

std::string errBody(const FrameError& error, const std::string& token) {
    std::vector<std::string> fields;
    if (!token.empty()) {
        fields.push_back(token);
    }
    fields.push_back("?" + std::to_string(error.number));
    if (!error.command.empty()) {
        fields.push_back("cm" + error.command);
        if (!error.field.empty()) {
            fields.push_back("fd" + error.field);
        }
    }
    return poslib::composeBody("ERR", fields);
}

// The line changed one digit of the checksum: the printer kept the answer as it was.
std::string damaged(std::string frame) {
    char& digit = frame[frame.size() - 2];
    digit = digit == '0' ? '1' : '0';
    return frame;
}

template <typename Fault>
const Fault* cued(const std::vector<Fault>& faults, const std::string& command, int occurrence) {
    const auto found = std::find_if(faults.begin(), faults.end(), [&](const Fault& fault) {
        return fault.command == command && fault.occurrence == occurrence;
    });
    return found == faults.end() ? nullptr : &*found;
}

} // namespace

Reaction Session::answer(const poslib::DecodedFrame& frame) {
    if (silent()) {
        return {};
    }
    ++received;
    Command command;
    try {
        if (frame.fault != poslib::FrameFault::None) {
            throw FrameError{faultNumber(frame.fault), {}, {}};
        }
        command = parseCommand(frame.body);
    } catch (const FrameError& error) {
        const std::string token = tokenIn(frame.body);
        return {kept(token, poslib::encodeFrame(errBody(error, token)))};
    }
    // Answers to rpt are not kept: asking again must not push out the answer asked for.
    return command.name == repeatCommand ? Reaction{repeat(command)} : run(command);
}

Reaction Session::overflow(const poslib::DecodedFrame& frame) {
    if (silent()) {
        return {};
    }
    ++received;
    const std::string token = tokenIn(frame.body);
    return {poslib::encodeFrame(errBody({frame_error::inputQueueFull, {}, {}}, token))};
}

Reaction Session::run(const Command& command) {
    const int occurrence = ++receivedByName[command.name];
    if (cued(faults.closesBefore, command.name, occurrence)) {
        return {std::nullopt, true};
    }
    const std::string frame =
        kept(command.token, poslib::encodeFrame(execute(command, occurrence)));
    const bool switchOff = cued(faults.switchesOff, command.name, occurrence) != nullptr;
    if (switchOff || cued(faults.closesAfter, command.name, occurrence)) {
        return {std::nullopt, true, switchOff};
    }
    if (cued(faults.droppedAnswers, command.name, occurrence)) {
        return {};
    }
    return {cued(faults.damagedAnswers, command.name, occurrence) ? damaged(frame) : frame};
}

std::string Session::execute(const Command& command, int occurrence) {
    try {
        if (const Refusal* refusal = cued(faults.refusals, command.name, occurrence)) {
            return head(command) + "?" + std::to_string(refusal->number);
        }
        std::string body = head(command);
        for (const auto& [name, value] : printer.execute(command)) {
            body += name + value + poslib::tab;
        }
        return body;
    } catch (const CommandRefused& refusal) {
        return head(command) + "?" + std::to_string(refusal.number);
    } catch (const FrameError& error) {
        return errBody(error, command.token);
    }
}

std::string Session::repeat(const Command& command) const {
    if (command.token.empty()) {
        return poslib::encodeFrame(errBody({frame_error::missingField, repeatCommand, {}}, {}));
    }
    const std::optional<std::string> stored = answers.find(command.token);
    return stored ? *stored
                  : poslib::encodeFrame(
                        errBody({frame_error::tokenNotFound, repeatCommand, {}}, command.token));
}

std::string Session::head(const Command& command) const {
    std::string head = (command.immediate && immediateNames ? "!" : "") + command.name;
    head += poslib::tab;
    if (!command.token.empty()) {
        head += command.token + poslib::tab;
    }
    return head;
}

std::string Session::kept(const std::string& token, const std::string& frame) {
    if (!token.empty()) {
        answers.keep(token, frame);
    }
    return frame;
}

} // namespace virtual_printer
