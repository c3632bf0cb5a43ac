#include "service_test_support.h"
#include "support/test_certificate.h"
#include <algorithm>
#include <boost/filesystem/fstream.hpp>
#include <boost/filesystem/operations.hpp>
#include <json/reader.h>
#include <json/writer.h>
#include <sstream>
#include <stdexcept>

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

size_t countLines(const LogCapture& log, const std::string& line) {
    const std::vector<std::string> lines = log.lines();
    return std::count(lines.begin(), lines.end(), line);
}

boost::filesystem::path ServiceTestEnvironment::folder() const {
    return dataHome.path() / "TrivaneFiscalProxy";
}

void ServiceTestEnvironment::writeConfiguration(const std::string& content) const {
    boost::filesystem::create_directories(folder());
    boost::filesystem::ofstream file(folder() / "config.json", std::ios::binary);
    file << content;
}

std::string ServiceTestEnvironment::readConfiguration() const {
    boost::filesystem::ifstream file(folder() / "config.json", std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

RunningService::RunningService(const AccessSettings& access, const LineSettings& line)
    : server(listeningAs(access, testServerSettings())), service(server, access, line) {
    service.stateChanged.connect([this](FiscalPrinterBase::State state) {
        std::lock_guard<std::mutex> lock(statesMutex);
        recordedStates.push_back(state);
    });
    serverThread = std::make_unique<ServerThread>(server);
}

RunningService::~RunningService() {
    serverThread.reset();
}

HttpAnswer RunningService::get(const std::string& path, const std::string& headers) {
    return exchange(serverThread->port(),
                    "GET " + path + " HTTP/1.1\r\nHost: localhost\r\n" + headers + "\r\n");
}

HttpAnswer RunningService::post(const std::string& path, const std::string& body,
                                const std::string& headers) {
    return exchange(serverThread->port(), "POST " + path +
                                              " HTTP/1.1\r\nHost: localhost\r\n"
                                              "Content-Type: application/json;charset=utf-8\r\n" +
                                              headers + "Content-Length: " +
                                              std::to_string(body.size()) + "\r\n\r\n" + body);
}

HttpAnswer RunningService::options(const std::string& path) {
    return exchange(serverThread->port(),
                    "OPTIONS " + path + " HTTP/1.1\r\nHost: localhost\r\n\r\n");
}

HttpAnswer RunningService::send(const std::string& request) {
    return exchange(serverThread->port(), request);
}

std::vector<FiscalPrinterBase::State> RunningService::states() const {
    std::lock_guard<std::mutex> lock(statesMutex);
    return recordedStates;
}
