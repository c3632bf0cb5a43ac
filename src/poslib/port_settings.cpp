#include "poslib/port_settings.h"

#include "poslib/library_error.h"

#include <map>
#include <set>
#include <vector>

namespace poslib {

namespace {

constexpr std::size_t settingFields = 5; // after the port, which may itself hold commas

[[noreturn]] void refuse(const std::string& text) {
    throw LibraryError(InvalidArgument, "bad port settings: " + text);
}

int number(const std::string& field, const std::string& text) {
    if (field.empty() || field.size() > 7 ||
        field.find_first_not_of("0123456789") != std::string::npos) {
        refuse(text);
    }
    return std::stoi(field);
}

} // namespace

PortSettings parsePortSettings(const std::string& text) {
    std::vector<std::string> fields;
    std::string rest = text;
    for (std::size_t i = 0; i < settingFields; ++i) {
        const std::size_t comma = rest.rfind(',');
        if (comma == std::string::npos) {
            refuse(text);
        }
        fields.insert(fields.begin(), rest.substr(comma + 1));
        rest.resize(comma);
    }
    static const std::set<int> baudRates = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
    static const std::map<std::string, FlowControl> flowControls = {
        {"H", FlowControl::RtsCts}, {"X", FlowControl::XonXoff}, {"N", FlowControl::None}};
    PortSettings settings;
    settings.port = rest;
    settings.baudRate = number(fields[0], text);
    settings.dataBits = number(fields[1], text);
    settings.stopBits = number(fields[3], text);
    if (rest.empty() || baudRates.count(settings.baudRate) == 0 ||
        (settings.dataBits != 7 && settings.dataBits != 8) ||
        (settings.stopBits != 1 && settings.stopBits != 2) || fields[2].size() != 1 ||
        std::string("NEO").find(fields[2][0]) == std::string::npos ||
        flowControls.count(fields[4]) == 0) {
        refuse(text);
    }
    settings.parity = fields[2][0];
    settings.flowControl = flowControls.at(fields[4]);
    return settings;
}

} // namespace poslib
