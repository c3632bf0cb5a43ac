// What the service's tests share: a temporary local application-data folder with the
// configuration file, the service serving on a background thread with its state changes
// recorded, a TLS client for it, and the log lines written meanwhile.
#ifndef TESTS_SERVICE_TEST_SUPPORT_H
#define TESTS_SERVICE_TEST_SUPPORT_H

#include "service/fiscal_printer_base.h"
#include <boost/filesystem/path.hpp>
#include <boost/log/sinks/sync_frontend.hpp>
#include <boost/log/sinks/text_ostream_backend.hpp>
#include <json/value.h>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

Json::Value parseJson(const std::string& text);

// The configuration file with its eight keys, as the web application would have saved it.
std::string configurationFile(const std::string& port, int selectedPrinter);

// The test certificate pair, port 0, and XDG_DATA_HOME pointed at a fresh temporary folder.
class ServiceTestEnvironment {
public:
    ServiceTestEnvironment();
    ~ServiceTestEnvironment();

    ServerSettings serverSettings() const;
    // "TrivaneFiscalProxy" in the temporary folder.
    boost::filesystem::path folder() const;
    void writeConfiguration(const std::string& content) const;
    std::string readConfiguration() const;

private:
    struct Implementation;
    std::unique_ptr<Implementation> implementation;
};

struct Answer {
    int status = 0;
    std::string reason;
    std::map<std::string, std::string> headers;
    std::string body;

    Json::Value json() const;
};

// The service built in the environment and serving on a background thread.
class RunningService {
public:
    explicit RunningService(const ServiceTestEnvironment& environment);
    ~RunningService();

    Answer get(const std::string& path);
    // Sends `body` as JSON.
    Answer post(const std::string& path, const std::string& body);
    Answer options(const std::string& path);
    // The states announced since construction (a start-up connection reaches nobody).
    std::vector<FiscalPrinterBase::State> states() const;
    // Read between requests only: the server thread owns the service while it serves.
    bool connected() const { return service.connected; }

private:
    Answer send(const std::string& request);

    FiscalPrinterBase service;
    mutable std::mutex statesMutex;
    std::vector<FiscalPrinterBase::State> recordedStates;
    std::thread serverThread;
};

// The messages logged while it lives.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();

    std::vector<std::string> lines() const;
    size_t count(const std::string& line) const;

private:
    using Sink = boost::log::sinks::synchronous_sink<boost::log::sinks::text_ostream_backend>;
    boost::shared_ptr<std::ostringstream> stream;
    boost::shared_ptr<Sink> sink;
};

#endif
