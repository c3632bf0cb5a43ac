// The REST service that the web application calls: it is the HTTPS server, holds the
// printer connection and the configuration, and turns each route into printer commands.
#ifndef SERVICE_FISCAL_PRINTER_BASE_H
#define SERVICE_FISCAL_PRINTER_BASE_H

#include "posnet/printer.h"
#include "rest/rest_server.h"
#include "service/access_settings.h"
#include "service/certificate_summary.h"
#include "service/configuration.h"
#include "service/idempotency_store.h"
#include "service/line_settings.h"
#include "service/printer_activity.h"
#include "service/printer_types.h"
#include <boost/signals2/signal.hpp>
#include <string>

class FiscalPrinterBase : public RestServer {
public:
    enum State { Connected = 0, Disconnected = 1 };

    // Listens as the access settings say, reads the configuration, registers the routes and
    // the origins allowed to call them and, when a printer is configured, tries to connect
    // to it with the line settings; does not start serving.
    explicit FiscalPrinterBase(const ServerSettings& settings = ServerSettings(),
                               const AccessSettings& access = AccessSettings(),
                               const LineSettings& line = LineSettings());
    ~FiscalPrinterBase() override;

    // The operations behind the routes.
    PrinterTypes::SerialPortList getSerialPortList();
    bool connect(std::string port);
    void disconnect();
    void reload();
    bool print(PrinterTypes::FiscalReceipt receipt);
    // See Printer::cancelTransaction().
    void cancelTransaction();
    std::string version();
    bool isConfigured();
    bool isConnected();
    bool isConnectedActive();
    ConfigurationData getConfiguration();
    void saveConfiguration(ConfigurationData configuration);
    PrinterTypes::VatMapping getVatMapping();
    void dailyReport();
    Redirect redirectToConfigurationPage();
    // What the program's own page shows: version, configuration, connection, the line
    // settings, the printer's last command and refusal, the certificate and the log folder.
    // An open connection is checked first with the printer's identity command, so that a
    // printer switched off shows as disconnected, here and in the tray.
    Json::Value status();
    // Serves the certificate files as they are now to new connections and shows them on the
    // page; throws, and serves the pair it had, when they cannot be loaded. Any thread.
    void serveRenewedCertificate();

    // One printer command on the open connection; throws RestException 500 when there is
    // none and PosnetException when the library or the printer refuses it.
    void runTransaction(const std::string& command, const std::string& parameters);
    // True while the printer connection is open.
    bool connected() const { return printer.connected(); }

    boost::signals2::signal<void(State)> stateChanged;
    ConfigurationStore configuration;

private:
    void openIdempotencyStore();
    void registerRoutes();
    void registerPageRoutes();
    void allowCallers(const AccessSettings& access);
    void checkConnection();
    Json::Value documentInDoubtStatus() const;
    bool hasConfiguredPort();
    // Connects to the configured port when a printer is configured; a printer that cannot
    // be reached leaves the service disconnected, which the state already shows.
    void connectIfConfigured();
    void followPrinter();

    // From the file the listener loaded; changed on the event loop's thread only.
    CertificateSummary certificate;
    PrinterActivity printerActivity;
    IdempotencyStore idempotency;
    // Last, so that it closes its connection while what it announces to is still there.
    Printer printer;
};

#endif
