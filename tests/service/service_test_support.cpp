#include "service_test_support.h"
#include <algorithm>
#include <boost/log/core.hpp>
#include <boost/log/expressions.hpp>
#include <json/reader.h>
#include <json/writer.h>

Json::Value parseJson(const std::string& text) {
    Json::Value value;
    if (!Json::Reader().parse(text, value)) {
        throw std::runtime_error("not JSON: " + text);
    }
    return value;
}

std::string configurationFile(const std::string& port, int selectedPrinter) {
    Json::Value file(Json::objectValue);
    file["port"] = port;
    file["selectedPrinter"] = selectedPrinter;
    file["questionBeforeFiscalization"] = false;
    file["printInvoicesOnFiscalPrinter"] = false;
    file["dontPrintNipOnFiscalPrinter"] = false;
    file["isValid"] = true;
    file["vatMappingForNoObligation"] = 0;
    file["paymentMapping"] = Json::Value(Json::arrayValue);
    return Json::FastWriter().write(file);
}

Json::Value Answer::json() const {
    return parseJson(body);
}

RunningService::RunningService(const ServiceTestEnvironment& environment)
    : service(environment.serverSettings()) {
    service.stateChanged.connect([this](FiscalPrinterBase::State state) {
        std::lock_guard<std::mutex> lock(statesMutex);
        recordedStates.push_back(state);
    });
    serverThread = std::thread([this] { service.start(); });
}

RunningService::~RunningService() {
    service.stop();
    serverThread.join();
}

std::vector<FiscalPrinterBase::State> RunningService::states() const {
    std::lock_guard<std::mutex> lock(statesMutex);
    return recordedStates;
}

LogCapture::LogCapture()
    : stream(boost::make_shared<std::ostringstream>()), sink(boost::make_shared<Sink>()) {
    sink->locked_backend()->add_stream(stream);
    sink->locked_backend()->auto_flush(true);
    sink->set_formatter(boost::log::expressions::smessage);
    boost::log::core::get()->add_sink(sink);
}

LogCapture::~LogCapture() {
    boost::log::core::get()->remove_sink(sink);
}

std::vector<std::string> LogCapture::lines() const {
    std::istringstream text;
    {
        // The backend's lock keeps the server thread from writing while the text is copied.
        auto backend = sink->locked_backend();
        text.str(stream->str());
    }
    std::vector<std::string> result;
    for (std::string line; std::getline(text, line);) {
        result.push_back(line);
    }
    return result;
}

size_t LogCapture::count(const std::string& line) const {
    const std::vector<std::string> all = lines();
    return std::count(all.begin(), all.end(), line);
}
