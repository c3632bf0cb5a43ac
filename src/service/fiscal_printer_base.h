// The REST service that the web application calls: the handler of the HTTPS server, it holds
// the printer connection and the configuration, and turns each route into printer commands.
//
// Threads: its routes are called on the server's event loop. What needs the printer or the
// configuration runs on its printer worker, one operation at a time in the order the requests
// came, and answers from there; the rest (the page, "/status" while the printer works, the
// version, the configuration as last published) is answered on the loop at once.
#ifndef SERVICE_FISCAL_PRINTER_BASE_H
#define SERVICE_FISCAL_PRINTER_BASE_H

#include "posnet/printer.h"
#include "rest/rest_router.h"
#include "service/access_settings.h"
#include "service/certificate_summary.h"
#include "service/configuration.h"
#include "service/idempotency_store.h"
#include "service/line_settings.h"
#include "service/printer_activity.h"
#include "service/printer_types.h"
#include "service/printer_worker.h"
#include <boost/signals2/signal.hpp>
#include <chrono>
#include <cstddef>
#include <map>
#include <mutex>
#include <string>
#include <vector>

class FiscalPrinterBase {
public:
    enum State { Connected = 0, Disconnected = 1 };

    // Printer operations that may wait behind the one under way; a request beyond them is
    // answered 503 at once.
    static constexpr std::size_t maxWaitingOperations = 8;

    // Answers the requests of `server` from now on: reads the configuration, registers the
    // routes and the origins allowed to call them and, when a printer is configured, tries to
    // connect to it with the line settings; does not start serving.
    FiscalPrinterBase(HttpServer& server, const AccessSettings& access = AccessSettings(),
                      const LineSettings& line = LineSettings());
    // See finish().
    ~FiscalPrinterBase();
    FiscalPrinterBase(const FiscalPrinterBase&) = delete;
    FiscalPrinterBase& operator=(const FiscalPrinterBase&) = delete;

    // The operations behind the routes; those that use the printer or change the
    // configuration run on the printer worker, or while it runs nothing.
    PrinterTypes::SerialPortList getSerialPortList();
    bool connect(std::string port);
    void disconnect();
    void reload();
    bool print(PrinterTypes::FiscalReceipt receipt);
    std::string version();
    bool isConfigured();
    bool isConnected();
    bool isConnectedActive();
    ConfigurationData getConfiguration();
    void saveConfiguration(ConfigurationData configuration);
    PrinterTypes::VatMapping getVatMapping();
    void dailyReport();
    bool moveCash(PrinterTypes::CashRequest request);
    PrinterTypes::CashState cashState();
    bool openDrawer();
    PrinterInfo printerInfo();
    Redirect redirectToConfigurationPage();
    // Serves the certificate files as they are now to new connections and shows them on the
    // page; returns once the server confirms that it serves them. Throws, and serves the pair
    // it had, when they cannot be loaded, or when the server does not confirm the switch
    // within `reloadWait`. Any thread but the server's.
    void serveRenewedCertificate();
    static constexpr std::chrono::seconds reloadWait{10};
    // Lets the printer operation under way end, answers those still waiting 503 and closes
    // the printer; later printer requests are answered 503. Returns once the worker's thread
    // has ended; the event loop must still run for the answers to be written.
    void finish();

    // One printer command on the open connection; throws RestException 500 when there is
    // none and PosnetException when the library or the printer refuses it.
    void runTransaction(const std::string& command, const std::string& parameters);
    // See RestRouter::routeTable().
    std::map<std::string, std::vector<std::string>> routeTable() const;
    // True while the printer connection is open, as last published. Any thread.
    bool connected() const;

    boost::signals2::signal<void(State)> stateChanged;

private:
    // What the event loop may read while the worker works: published by the worker after
    // each operation.
    struct Published {
        bool connected = false;
        Json::Value line;
        Json::Value lastCompleted;
        Json::Value lastRefusal;
        Json::Value documentInDoubt;
        std::optional<PrinterInfo> printerInfo;
        ConfigurationStore configuration;
        CertificateSummary certificate;
    };

    void openIdempotencyStore();
    void registerRoutes();
    void registerPageRoutes();
    void allowCallers(const AccessSettings& access);
    // Runs `handler` on the printer worker as `operation`, answering when it ends; 503 at
    // once when too many operations wait.
    LaterRouteHandler onPrinter(const std::string& operation, RouteHandler handler);
    // "/status": at once while the printer works, else after checking the line.
    void answerStatus(std::shared_ptr<RestRequest> request, std::shared_ptr<RestResponse> response,
                      RouteAnswer answer);
    // What the program's own page shows: version, configuration, connection, the line
    // settings, the printer's last command and refusal, what the printer is doing, the
    // certificate and the log folder.
    Json::Value status(const PrinterWorker::Activity& activity);
    void checkConnection();
    // Asks the printer what it is once per connection, for the page.
    void learnPrinterInfo();
    Json::Value documentInDoubtStatus() const;
    bool hasConfiguredPort();
    // Connects to the configured port when a printer is configured; a printer that cannot
    // be reached leaves the service disconnected, which the state already shows.
    void connectIfConfigured();
    void followPrinter();
    // The worker's state for the event loop; on the worker, or while it runs nothing.
    void publish();

    HttpServer& server;
    RestRouter routes;
    // The worker's own, or the constructor's before any request.
    ConfigurationStore configuration;
    PrinterActivity printerActivity;
    // What the connected printer said it is; none before it was asked.
    std::optional<PrinterInfo> knownPrinterInfo;
    IdempotencyStore idempotency;
    mutable std::mutex publishedMutex;
    Published published;
    // After what it announces to, so that it closes its connection while they are there.
    Printer printer;
    // Last, so that its thread starts when all it uses is there.
    PrinterWorker worker;
};

#endif
