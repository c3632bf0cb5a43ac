#include "service/line_settings.h"

#include "logging/log_text.h"
#include "service/owner_settings_file.h"
#include <boost/log/trivial.hpp>
#include <initializer_list>
#include <json/writer.h>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

using Parity = LineSettings::Parity;
using FlowControl = LineSettings::FlowControl;

// Each value a key may take, as the file writes it and as the program holds it.
template <typename Setting> using Choices = std::vector<std::pair<Json::Value, Setting>>;

Choices<int> numbers(std::initializer_list<int> values) {
    Choices<int> choices;
    for (const int value : values) {
        choices.emplace_back(value, value);
    }
    return choices;
}

// The speeds the printers' menus offer.
const Choices<int> speeds = numbers({1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200});
const Choices<Parity> parities = {
    {"none", Parity::None}, {"odd", Parity::Odd}, {"even", Parity::Even}};
const Choices<int> stopBits = numbers({1, 2});
const Choices<FlowControl> flowControls = {{"rtscts", FlowControl::RtsCts},
                                           {"xonxoff", FlowControl::XonXoff},
                                           {"none", FlowControl::None}};

std::string jsonText(const Json::Value& value) {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    return Json::writeString(builder, value);
}

template <typename Setting>
Setting choose(const std::string& key, const Json::Value& value, const Choices<Setting>& choices) {
    std::string allowed;
    for (const auto& choice : choices) {
        if (value == choice.first) {
            return choice.second;
        }
        allowed += (allowed.empty() ? "" : ", ") + jsonText(choice.first);
    }
    throw MalformedSettings("\"" + key + "\" is " + escapeForLog(jsonText(value)) +
                            ", not one of " + allowed);
}

template <typename Setting>
const Json::Value& named(Setting setting, const Choices<Setting>& choices) {
    for (const auto& choice : choices) {
        if (choice.second == setting) {
            return choice.first;
        }
    }
    throw std::logic_error("a line setting without a name");
}

LineSettings parseSettings(const Json::Value& root) {
    LineSettings line;
    for (const std::string& key : root.getMemberNames()) {
        if (key == "speed") {
            line.speed = choose(key, root[key], speeds);
        } else if (key == "parity") {
            line.parity = choose(key, root[key], parities);
        } else if (key == "stopBits") {
            line.stopBits = choose(key, root[key], stopBits);
        } else if (key == "flowControl") {
            line.flowControl = choose(key, root[key], flowControls);
        } else {
            refuseKey(key);
        }
    }
    return line;
}

const char* parityText(Parity parity) {
    switch (parity) {
    case Parity::Odd:
        return "odd parity";
    case Parity::Even:
        return "even parity";
    default:
        return "no parity";
    }
}

const char* flowControlText(FlowControl flowControl) {
    switch (flowControl) {
    case FlowControl::RtsCts:
        return "RTS/CTS flow control";
    case FlowControl::XonXoff:
        return "XON/XOFF flow control";
    default:
        return "no flow control";
    }
}

} // namespace

LineSettings readLineSettings() {
    LineSettings line;
    readOwnerSettings("line.json", "line settings",
                      [&line](const Json::Value& root) { line = parseSettings(root); });
    BOOST_LOG_TRIVIAL(info) << "Line settings: " << line.speed << " baud, 8 data bits, "
                            << parityText(line.parity) << ", " << line.stopBits << " stop bit"
                            << (line.stopBits == 1 ? "" : "s") << ", "
                            << flowControlText(line.flowControl)
                            << " (for a serial port; a tcp:// printer ignores them)";
    return line;
}

Json::Value lineSettingsStatus(const LineSettings& line) {
    Json::Value status(Json::objectValue);
    status["speed"] = named(line.speed, speeds);
    status["parity"] = named(line.parity, parities);
    status["stopBits"] = named(line.stopBits, stopBits);
    status["flowControl"] = named(line.flowControl, flowControls);
    return status;
}
