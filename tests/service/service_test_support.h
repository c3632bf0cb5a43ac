// What the service's tests share: a temporary local application-data folder holding the
// configuration file, and the service serving on a background thread with its state
// changes recorded and a TLS client for it.
#ifndef TESTS_SERVICE_TEST_SUPPORT_H
#define TESTS_SERVICE_TEST_SUPPORT_H

#include "service/fiscal_printer_base.h"
#include "support/data_home.h"
#include "support/log_capture.h"
#include "support/server_thread.h"
#include "support/tls_client.h"
#include <boost/filesystem/path.hpp>
#include <json/value.h>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

Json::Value parseJson(const std::string& text);

// The configuration file with its eight keys, as the web application would have saved it.
std::string configurationFile(const std::string& port, int selectedPrinter);

// How many captured log lines equal `line` ("<severity> : <message>").
size_t countLines(const LogCapture& log, const std::string& line);

// XDG_DATA_HOME pointed at a fresh temporary folder, for one test.
class ServiceTestEnvironment {
public:
    // "TrivaneFiscalProxy" in the temporary folder.
    boost::filesystem::path folder() const;
    void writeConfiguration(const std::string& content) const;
    std::string readConfiguration() const;

private:
    TemporaryDataHome dataHome;
};

// The service built in the current environment with the test certificate on a free port,
// serving on a background thread.
class RunningService {
public:
    explicit RunningService(const AccessSettings& access = AccessSettings(),
                            const LineSettings& line = LineSettings());
    ~RunningService();

    // `headers`: more header lines, each ending in "\r\n".
    HttpAnswer get(const std::string& path, const std::string& headers = "");
    // Sends `body` as JSON; `headers` as for get().
    HttpAnswer post(const std::string& path, const std::string& body,
                    const std::string& headers = "");
    HttpAnswer options(const std::string& path);
    // Sends the whole request text as it is.
    HttpAnswer send(const std::string& request);
    // The states announced since construction (a start-up connection reaches nobody).
    std::vector<FiscalPrinterBase::State> states() const;
    // Any thread: the state the printer worker last published.
    bool connected() const { return service.connected(); }
    std::map<std::string, std::vector<std::string>> routeTable() const {
        return service.routeTable();
    }
    unsigned short port() const { return serverThread->port(); }

private:
    // Before the service: its destructor still announces the closing of the connection.
    mutable std::mutex statesMutex;
    std::vector<FiscalPrinterBase::State> recordedStates;
    HttpServer server;
    FiscalPrinterBase service;
    std::unique_ptr<ServerThread> serverThread;
};

#endif
