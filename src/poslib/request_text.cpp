#include "poslib/request_text.h"

#include "poslib/frame.h"
#include "poslib/library_error.h"

namespace poslib {

namespace {

constexpr std::size_t nameLength = 2;
constexpr std::size_t longestCommand = 16;

bool isMnemonic(const std::string& text) {
    return !text.empty() &&
           text.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789") == std::string::npos;
}

// A mnemonic, or one marked "!" for immediate execution; printers differ in whether they
// answer such a command under its marked name.
bool isCommandName(const std::string& text) {
    const std::string name = text.compare(0, 1, "!") == 0 ? text.substr(1) : text;
    return isMnemonic(name) && name.size() <= longestCommand;
}

std::string commandField(const std::string& command) {
    if (!isCommandName(command)) {
        throw LibraryError(MalformedRequest, "bad command: " + command);
    }
    return command;
}

std::string parameterField(const std::string& entry) {
    const std::size_t comma = entry.find(',');
    const std::string name = entry.substr(0, comma);
    if (comma == std::string::npos || name.size() != nameLength || !isMnemonic(name)) {
        throw LibraryError(MalformedRequest, "bad parameter entry: " + entry);
    }
    const std::string value = entry.substr(comma + 1);
    for (unsigned char byte : value) {
        if (byte < 0x20) {
            throw LibraryError(ControlByteInValue, "control byte in parameter " + name);
        }
    }
    return name + value;
}

bool isErrorNumber(const std::string& field) {
    return field.size() > 1 && field.size() <= 10 && field[0] == '?' &&
           field.find_first_not_of("0123456789", 1) == std::string::npos;
}

POSNET_STATUS errorNumber(const std::string& field) {
    if (!isErrorNumber(field)) {
        throw LibraryError(BrokenAnswerFrame, "bad error number: " + field);
    }
    return std::stoi(field.substr(1));
}

// A frame error never counts as success: not when its number is missing or 0, nor when
// something unreadable follows it.
Answer frameErrorAnswer(const FrameContent& content) {
    Answer answer{content.command, {}, UnexpectedAnswer, {}};
    for (const std::string& field : content.fields) {
        if (field[0] == '@') {
            answer.token = field;
        } else if (answer.status == UnexpectedAnswer && isErrorNumber(field) &&
                   errorNumber(field) != 0) {
            answer.status = errorNumber(field);
        }
    }
    return answer;
}

} // namespace

std::string requestBody(const std::string& command, const std::string& parameters) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (!parameters.empty() && start <= parameters.size()) {
        std::size_t end = parameters.find('\n', start);
        if (end == std::string::npos) {
            end = parameters.size();
        }
        fields.push_back(parameterField(parameters.substr(start, end - start)));
        start = end + 1;
    }
    return composeBody(commandField(command), fields);
}

Answer parseAnswer(const std::string& body) {
    const FrameContent content = splitBody(body);
    if (content.command == "ERR") {
        return frameErrorAnswer(content);
    }
    if (!isCommandName(content.command)) {
        throw LibraryError(BrokenAnswerFrame, "bad answer command: " + content.command);
    }
    Answer answer{content.command, {}, 0, {}};
    for (const std::string& field : content.fields) {
        if (field[0] == '?') {
            const POSNET_STATUS number = errorNumber(field);
            answer.status = answer.status != 0 ? answer.status : number;
        } else if (field[0] == '@') {
            answer.token = field;
        } else if (field.size() < nameLength) {
            throw LibraryError(BrokenAnswerFrame, "field without a name: " + field);
        } else {
            answer.values.push_back({field.substr(0, nameLength), field.substr(nameLength)});
        }
    }
    return answer;
}

} // namespace poslib
