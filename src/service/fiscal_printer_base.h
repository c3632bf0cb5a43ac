// The REST service that the web application calls: it is the HTTPS server, holds the
// printer connection and the configuration, and turns each route into printer commands.
#ifndef SERVICE_FISCAL_PRINTER_BASE_H
#define SERVICE_FISCAL_PRINTER_BASE_H

#include "posnet/document_in_doubt.h"
#include "posnet/posnet.h"
#include "rest/rest_server.h"
#include "service/access_settings.h"
#include "service/certificate_summary.h"
#include "service/configuration.h"
#include "service/idempotency_store.h"
#include "service/printer_activity.h"
#include "service/printer_types.h"
#include <boost/signals2/signal.hpp>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>

// Response values of a printer command by name, as the library delivers them.
using PosnetResponse = std::unordered_map<std::string, std::string>;

class PosnetException;

class FiscalPrinterBase : public RestServer {
public:
    enum State { Connected = 0, Disconnected = 1 };

    // Listens as the access settings say, reads the configuration, registers the routes and
    // the origins allowed to call them and, when a printer is configured, tries to connect
    // to it; does not start serving.
    explicit FiscalPrinterBase(const ServerSettings& settings = ServerSettings(),
                               const AccessSettings& access = AccessSettings());
    ~FiscalPrinterBase() override;

    // The operations behind the routes.
    PrinterTypes::SerialPortList getSerialPortList();
    bool connect(std::string port);
    void disconnect();
    void reload();
    bool print(PrinterTypes::FiscalReceipt receipt);
    // Asks the printer to drop the receipt it has open; never throws, as it runs while
    // another failure is on its way to the caller.
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
    // What the program's own page shows: version, configuration, connection, the printer's
    // last command and refusal, the certificate and the log folder. An open connection is
    // checked first with the printer's identity command, so that a printer switched off
    // shows as disconnected, here and in the tray.
    Json::Value status();

    // Told the token of a command's frame (none when the library gives none) before the
    // frame is sent.
    using TokenObserver = std::function<void(std::optional<uint32_t>)>;

    // One printer command on the open connection; throws RestException when there is
    // none and PosnetException when the library or the printer refuses it.
    void runTransaction(const std::string& command, const std::string& parameters,
                        const TokenObserver& beforePosting = TokenObserver());
    PosnetResponse runTransactionWithResponse(const std::string& command,
                                              const std::string& parameters);
    // Closes the connection first when the code says it was lost.
    [[noreturn]] void throwPosnetError(POSNET_STATUS code, const std::string& callName);

    boost::signals2::signal<void(State)> stateChanged;
    // A receipt or daily report is about to be opened, or closed: what it takes to find out
    // later what became of it.
    boost::signals2::signal<void(const DocumentInDoubt&)> documentProgress;
    // The printer told what became of the document in doubt.
    boost::signals2::signal<void(const DocumentInDoubt&, DocumentOutcome)> documentSettled;
    ConfigurationStore configuration;
    POSNET_HANDLE deviceHandle = 0;
    POSNET_HANDLE device = 0;
    bool connected = false;
    // The port of the last connection that opened, where a lost line is sought again.
    std::string connectedPort;
    PrinterActivity printerActivity;
    // A document whose closing answer was lost and whose fate is not known yet; shown on the
    // program's page and settled at the next connection.
    std::optional<DocumentInDoubt> documentInDoubt;

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
    void openReceipt();
    bool openConnection(const std::string& port);
    void requireConnection() const;
    POSNET_HANDLE postRequest(const std::string& command, const std::string& parameters,
                              const TokenObserver& beforePosting);
    void awaitAnswer(POSNET_HANDLE request);
    void checkRequest(POSNET_HANDLE request, POSNET_STATUS code, const char* callName);

    // A receipt's counters are read before it is opened, so that its fate can be told after
    // a lost answer.
    DocumentInDoubt startDocument(DocumentKind kind);
    // Runs the document's closing command; when its answer is lost, finds out from the
    // printer whether it was carried out: returns when it was, throws the lost line's error
    // when it was not, and OutcomeUnknownException when the printer cannot tell.
    void endDocument(DocumentInDoubt document, const std::string& command,
                     const std::string& parameters);
    void recoverOutcome(const DocumentInDoubt& document, const PosnetException& lostLine);
    DocumentOutcome reconnectAndSettle();
    DocumentOutcome settleDocumentInDoubt();
    DocumentOutcome findOutcome(const DocumentInDoubt& document);
    std::optional<POSNET_STATUS> storedAnswer(uint32_t token);
    std::optional<bool> transactionOpen();
    std::optional<ReceiptCounters> readReceiptCounters();

    // Read once, from the file the listener loaded.
    const CertificateSummary certificate;
    IdempotencyStore idempotency;
};

#endif
