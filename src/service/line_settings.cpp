#include "service/line_settings.h"

#include "logging/log_text.h"
#include "service/owner_settings_file.h"
#include <boost/log/trivial.hpp>
#include <initializer_list>
#include <json/writer.h>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Parity = LineSettings::Parity;
using FlowControl = LineSettings::FlowControl;

// A value a key may take: as the file writes it, as the program holds it, and as the log
// line says it (where a number alone does not).
template <typename Setting> struct Choice {
    Json::Value name;
    Setting setting;
    const char* logText;
};
template <typename Setting> using Choices = std::vector<Choice<Setting>>;

Choices<int> numbers(std::initializer_list<int> values) {
    Choices<int> choices;
    for (const int value : values) {
        choices.push_back({value, value, ""});
    }
    return choices;
}

// The speeds the printers' menus offer.
const Choices<int> speeds = numbers({1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200});
const Choices<Parity> parities = {{"none", Parity::None, "no parity"},
                                  {"odd", Parity::Odd, "odd parity"},
                                  {"even", Parity::Even, "even parity"}};
const Choices<int> stopBits = numbers({1, 2});
const Choices<FlowControl> flowControls = {
    {"rtscts", FlowControl::RtsCts, "RTS/CTS flow control"},
    {"xonxoff", FlowControl::XonXoff, "XON/XOFF flow control"},
    {"none", FlowControl::None, "no flow control"}};

std::string jsonText(const Json::Value& value) {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    return Json::writeString(builder, value);
}

template <typename Setting>
Setting choose(const std::string& key, const Json::Value& value, const Choices<Setting>& choices) {
    std::string allowed;
    for (const auto& choice : choices) {
        if (value == choice.name) {
            return choice.setting;
        }
        allowed += (allowed.empty() ? "" : ", ") + jsonText(choice.name);
    }
    throw MalformedSettings("\"" + key + "\" is " + escapeForLog(jsonText(value)) +
                            ", not one of " + allowed);
}

template <typename Setting>
const Choice<Setting>& chosen(Setting setting, const Choices<Setting>& choices) {
    for (const auto& choice : choices) {
        if (choice.setting == setting) {
            return choice;
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

} // namespace

LineSettings readLineSettings() {
    LineSettings line;
    readOwnerSettings("line.json", "line settings",
                      [&line](const Json::Value& root) { line = parseSettings(root); });
    BOOST_LOG_TRIVIAL(info) << "Line settings: " << line.speed << " baud, 8 data bits, "
                            << chosen(line.parity, parities).logText << ", " << line.stopBits
                            << " stop bit" << (line.stopBits == 1 ? "" : "s") << ", "
                            << chosen(line.flowControl, flowControls).logText
                            << " (for a serial port; a tcp:// printer ignores them)";
    return line;
}

Json::Value lineSettingsStatus(const LineSettings& line) {
    Json::Value status(Json::objectValue);
    status["speed"] = chosen(line.speed, speeds).name;
    status["parity"] = chosen(line.parity, parities).name;
    status["stopBits"] = chosen(line.stopBits, stopBits).name;
    status["flowControl"] = chosen(line.flowControl, flowControls).name;
    return status;
}
