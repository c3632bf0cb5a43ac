#include "command.h"

#include "poslib/frame.h"
#include "printer_errors.h"

#include <cctype>

namespace virtual_printer {

namespace {

constexpr std::size_t nameLength = 2;
constexpr std::size_t longestAmount = 10;
constexpr std::size_t longestQuantity = 16;

bool allDigits(const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

[[noreturn]] void fieldError(int number, const Command& command, const std::string& name) {
    throw FrameError{number, command.name, name};
}

bool isStatusQuery(const std::string& name) {
    return name == "sprn" || name == "sdev" || name == "sdrwr";
}

void addField(Command& command, const std::string& field) {
    if (field[0] == '@') {
        if (field.size() != 5 || !allDigits(field.substr(1))) {
            throw FrameError{frame_error::badToken, command.name, {}};
        }
        command.token = field;
    } else if (field.size() < nameLength) {
        throw FrameError{frame_error::frameError, command.name, {}};
    } else if (field.size() == nameLength) {
        // A name without a value: the printer cannot tell "absent" from "empty" for it.
        throw FrameError{frame_error::frameError, command.name, field};
    } else {
        command.fields[field.substr(0, nameLength)] = field.substr(nameLength);
    }
}

} // namespace

Command parseCommand(const std::string& body) {
    const poslib::FrameContent content = poslib::splitBody(body);
    Command command;
    command.immediate = content.command.compare(0, 1, "!") == 0;
    command.name = command.immediate ? content.command.substr(1) : content.command;
    if (command.name.empty()) {
        throw FrameError{frame_error::frameError, {}, {}};
    }
    if (command.immediate && !isStatusQuery(command.name)) {
        throw FrameError{frame_error::notImmediate, command.name, {}};
    }
    for (const std::string& field : content.fields) {
        addField(command, field);
    }
    return command;
}

const std::string& requiredText(const Command& command, const std::string& name,
                                std::size_t longest) {
    const auto found = command.fields.find(name);
    if (found == command.fields.end()) {
        fieldError(frame_error::missingField, command, name);
    }
    if (found->second.size() > longest) {
        fieldError(frame_error::fieldLength, command, name);
    }
    return found->second;
}

std::optional<std::string> optionalText(const Command& command, const std::string& name,
                                        std::size_t longest) {
    if (command.fields.count(name) == 0) {
        return std::nullopt;
    }
    return requiredText(command, name, longest);
}

int64_t amountField(const Command& command, const std::string& name) {
    return digitsField(command, name, longestAmount);
}

std::optional<int64_t> optionalAmount(const Command& command, const std::string& name) {
    if (command.fields.count(name) == 0) {
        return std::nullopt;
    }
    return amountField(command, name);
}

int64_t digitsField(const Command& command, const std::string& name, std::size_t longest) {
    const std::string& text = requiredText(command, name, longest);
    if (!allDigits(text)) {
        fieldError(frame_error::fieldConversion, command, name);
    }
    return std::stoll(text);
}

int integerField(const Command& command, const std::string& name) {
    const std::string& text = requiredText(command, name, 4);
    if (!allDigits(text)) {
        fieldError(frame_error::fieldConversion, command, name);
    }
    return std::stoi(text);
}

Quantity quantityField(const Command& command, const std::string& name) {
    const std::string text = optionalText(command, name, longestQuantity).value_or("1");
    const bool negative = text[0] == '-';
    const std::size_t separator = text.find_first_of(".,");
    const std::string whole = text.substr(negative ? 1 : 0, separator - (negative ? 1 : 0));
    const std::string fraction = separator == std::string::npos ? "" : text.substr(separator + 1);
    if (!allDigits(whole) || (separator != std::string::npos && !allDigits(fraction))) {
        fieldError(frame_error::fieldConversion, command, name);
    }
    // At most 16 characters, so the digits fit in 64 bits.
    const int64_t units = std::stoll(whole + fraction);
    return {text, negative ? -units : units, static_cast<int>(fraction.size())};
}

bool boolField(const Command& command, const std::string& name, bool absent) {
    const std::optional<std::string> text = optionalText(command, name, 1);
    if (!text) {
        return absent;
    }
    if (std::string("1tTYy").find((*text)[0]) != std::string::npos) {
        return true;
    }
    if (std::string("0nN").find((*text)[0]) == std::string::npos) {
        fieldError(frame_error::fieldConversion, command, name);
    }
    return false;
}

std::string dateField(const Command& command, const std::string& name) {
    const std::string& text = requiredText(command, name, 10);
    const bool shaped = text.size() == 10 && text[4] == '-' && text[7] == '-' &&
                        allDigits(text.substr(0, 4)) && allDigits(text.substr(5, 2)) &&
                        allDigits(text.substr(8, 2));
    if (!shaped) {
        fieldError(frame_error::fieldConversion, command, name);
    }
    return text;
}

} // namespace virtual_printer
