#include "platform/app_data.h"
#include "platform/durable_file.h"
#include "service/configuration.h"
#include "service/owner_settings_file.h"
#include <boost/filesystem/operations.hpp>
#include <boost/log/trivial.hpp>
#include <json/reader.h>
#include <json/writer.h>

namespace {

const char* const fileName = "config.json";

// Ends a read at the failing step; the step has written its own log line, if it has one.
struct ReadFailure {};

// A configuration holds a body of /config/save, at most 1 MiB, which the file may hold with
// its characters escaped (up to three times as long).
constexpr std::size_t largestFile = 4 * 1024 * 1024;

std::string readText() {
    try {
        const boost::filesystem::path file = configurationFolder() / fileName;
        try {
            return readSettingsFile(file, largestFile);
        } catch (const UnreadableSettingsFile& refused) {
            BOOST_LOG_TRIVIAL(error)
                << "Configuration file " << file.string() << " " << refused.what();
            throw ReadFailure();
        }
    } catch (const std::runtime_error&) {
        // No such file, or no application-data folder to hold one.
        BOOST_LOG_TRIVIAL(error) << "Could not open configuration file.";
        throw ReadFailure();
    }
}

bool parsed(const std::string& text, Json::Value& root) {
    try {
        return Json::Reader().parse(text, root, true);
    } catch (const Json::Exception&) {
        // The reader throws instead of failing for a document nested too deep.
        return false;
    }
}

Json::Value parse(const std::string& text) {
    Json::Value root;
    if (!parsed(text, root)) {
        BOOST_LOG_TRIVIAL(error) << "Error while parsing configuration file";
        throw ReadFailure();
    }
    return root;
}

template <typename T>
void readKey(const Json::Value& root, const char* key, bool (Json::Value::*hasType)() const,
             T (Json::Value::*get)() const, T& out) {
    const Json::Value& value = root[key];
    if (!(value.*hasType)()) {
        throw ReadFailure();
    }
    out = (value.*get)();
}

// Stores each key as soon as it is read, so a failure keeps the keys before it.
void readFields(const Json::Value& root, ConfigurationData& data) {
    if (!root.isObject()) {
        throw ReadFailure();
    }
    readKey(root, "port", &Json::Value::isString, &Json::Value::asString, data.port);
    readKey(root, "selectedPrinter", &Json::Value::isInt, &Json::Value::asInt,
            data.selectedPrinter);
    readKey(root, "questionBeforeFiscalization", &Json::Value::isBool, &Json::Value::asBool,
            data.questionBeforeFiscalization);
    readKey(root, "printInvoicesOnFiscalPrinter", &Json::Value::isBool, &Json::Value::asBool,
            data.printInvoicesOnFiscalPrinter);
    readKey(root, "dontPrintNipOnFiscalPrinter", &Json::Value::isBool, &Json::Value::asBool,
            data.dontPrintNipOnFiscalPrinter);
    readKey(root, "isValid", &Json::Value::isBool, &Json::Value::asBool, data.isValid);
    readKey(root, "vatMappingForNoObligation", &Json::Value::isInt, &Json::Value::asInt,
            data.vatMappingForNoObligation);
    const Json::Value& paymentMapping = root["paymentMapping"];
    // A save without "paymentMapping" writes null; refusing it here would throw the whole
    // saved configuration away at the next start.
    if (!root.isMember("paymentMapping") ||
        !(paymentMapping.isArray() || paymentMapping.isNull())) {
        throw ReadFailure();
    }
    data.paymentMapping = paymentMapping;
}

[[noreturn]] void failSave(const char* logLine, const std::string& what) {
    BOOST_LOG_TRIVIAL(error) << logLine;
    throw ConfigurationSaveError("Configuration not saved: " + what);
}

boost::filesystem::path createFolder() {
    boost::filesystem::path folder;
    try {
        folder = configurationFolder();
    } catch (const std::runtime_error& error) {
        failSave("Configuration not saved, failed to create directory...", error.what());
    }
    boost::system::error_code error;
    boost::filesystem::create_directories(folder, error);
    if (error) {
        failSave("Configuration not saved, failed to create directory...",
                 "could not create the folder " + folder.string() + ": " + error.message());
    }
    return folder;
}

void replaceFile(const boost::filesystem::path& folder, const std::string& content) {
    try {
        platform::replaceFileAtomically(folder / fileName, content);
    } catch (const platform::FileWriteError& error) {
        failSave(error.step == platform::FileWriteError::Step::Open
                     ? "Configuration not saved, couldn't open file"
                     : "Configuration not saved, couldn't write file",
                 error.what());
    }
}

} // namespace

boost::filesystem::path configurationFolder() {
    return platform::programDataFolder();
}

void ConfigurationStore::read() {
    BOOST_LOG_TRIVIAL(info) << "Reading configuration...";
    try {
        readFields(parse(readText()), data);
        loaded = true;
    } catch (const ReadFailure&) {
        // A configuration that cannot be read leaves the service on its defaults; the
        // web application can save a new one.
        BOOST_LOG_TRIVIAL(error) << "Configuration read error.";
        loaded = false;
    }
}

void ConfigurationStore::save() const {
    BOOST_LOG_TRIVIAL(info) << "Saving configuration...";
    replaceFile(createFolder(), Json::FastWriter().write(configurationToJson(data)));
}

bool configuredIn(const ConfigurationStore& configuration) {
    return configuration.loaded && configuration.data.selectedPrinter >= 1;
}
