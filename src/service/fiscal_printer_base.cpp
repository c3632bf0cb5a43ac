#include "service/fiscal_printer_base.h"
#include "service/handler_adapters.h"
#include "service/idempotent_route.h"
#include "service/own_page.h"
#include "service/posnet_exception.h"
#include "service/program_version.h"
#include "service/web_application.h"
#include <boost/log/trivial.hpp>
#include <exception>
#include <functional>
#include <utility>

namespace {

// The operation as a callable of its own signature, bound to the service, so that the
// adapter of that signature is chosen for it; the printer's errors leave it as their answers.
template <typename Result, typename... Arguments>
std::function<Result(Arguments...)> bound(FiscalPrinterBase* service,
                                          Result (FiscalPrinterBase::*operation)(Arguments...)) {
    return [service, operation](Arguments... arguments) {
        try {
            return (service->*operation)(std::move(arguments)...);
        } catch (const PrinterError&) {
            rethrowAsAnswer();
        }
    };
}

ServerSettings listening(ServerSettings settings, const AccessSettings& access) {
    settings.listenOnAllAddresses = access.listenOnAllAddresses;
    return settings;
}

} // namespace

FiscalPrinterBase::FiscalPrinterBase(const ServerSettings& settings, const AccessSettings& access,
                                     const LineSettings& line)
    : RestServer(listening(settings, access)),
      certificate(readCertificateSummary(settings.certificateChainFile)),
      printer(linkedPosnetLibrary(), line) {
    configuration.read();
    followPrinter();
    openIdempotencyStore();
    BOOST_LOG_TRIVIAL(info) << "Starting server...";
    BOOST_LOG_TRIVIAL(info) << "Setup handlers...";
    registerRoutes();
    allowCallers(access);
    connectIfConfigured();
}

// A document that a crash or a lost line left in doubt is settled at the first connection.
void FiscalPrinterBase::openIdempotencyStore() {
    try {
        idempotency.open(configurationFolder() / "idempotency.json");
    } catch (const std::runtime_error&) {
        // Without a data folder the keys are kept in memory only; the configuration's read
        // has already said that the folder is missing.
    }
    printer.resumeDocumentInDoubt(idempotency.unsettled());
    printer.documentProgress.connect(
        [this](const DocumentInDoubt& document) { idempotency.progress(document); });
    printer.documentSettled.connect(
        [this](const DocumentInDoubt& document, DocumentOutcome outcome) {
            idempotency.settle(document, outcome);
        });
}

// The tray follows the connection, and the program's page what the printer last did.
void FiscalPrinterBase::followPrinter() {
    printer.connectionChanged.connect(
        [this](bool open) { stateChanged(open ? Connected : Disconnected); });
    printer.commandCompleted.connect([this] { printerActivity.commandCompleted(); });
    printer.commandRefused.connect(
        [this](const PosnetError& refusal) { printerActivity.commandRefused(refusal); });
}

FiscalPrinterBase::~FiscalPrinterBase() {
    disconnect();
}

void FiscalPrinterBase::registerRoutes() {
    using Self = FiscalPrinterBase;
    addRoute("/config/serial_port_list", Method::GET, adapt(bound(this, &Self::getSerialPortList)));
    // Routes that print or change the program's state are Actions: an image or a link of a
    // mail must not reach them.
    const RouteKind action = RouteKind::Action;
    addRoute("/connect", Method::POST, adapt(bound(this, &Self::connect)), action);
    addRoute("/disconnect", Method::GET, adapt(bound(this, &Self::disconnect)), action);
    addRoute("/config/reload", Method::GET, adapt(bound(this, &Self::reload)), action);
    addRoute("/printer/print", Method::POST,
             oncePerKey(adapt(bound(this, &Self::print)), idempotency, true), action);
    addRoute("/config/version", Method::GET, adapt(bound(this, &Self::version)));
    addRoute("/config/is_configured", Method::GET, adapt(bound(this, &Self::isConfigured)));
    addRoute("/config/is_connected", Method::GET, adapt(bound(this, &Self::isConnected)));
    addRoute("/config/is_connected_active", Method::GET,
             adapt(bound(this, &Self::isConnectedActive)));
    addRoute("/config/get", Method::GET, adapt(bound(this, &Self::getConfiguration)));
    addRoute("/config/save", Method::POST, adapt(bound(this, &Self::saveConfiguration)), action);
    addRoute("/printer/get_vat_mapping", Method::GET, adapt(bound(this, &Self::getVatMapping)));
    addRoute("/daily_report", Method::GET,
             oncePerKey(adapt(bound(this, &Self::dailyReport)), idempotency, Json::Value()),
             action);
    // The web application links to it from its own pages.
    addRoute("/config/firefox", Method::GET, adapt(bound(this, &Self::redirectToConfigurationPage)),
             RouteKind::NavigationTarget);
    registerPageRoutes();
}

// The program's own page, for the shop's IT person; the web application uses none of it.
void FiscalPrinterBase::registerPageRoutes() {
    for (const PageDocument& document : pageDocuments) {
        addRoute(document.path, Method::GET, pageDocumentHandler(document), RouteKind::Page);
    }
    addRoute("/status", Method::GET, adapt(bound(this, &FiscalPrinterBase::status)),
             RouteKind::PageData);
}

void FiscalPrinterBase::allowCallers(const AccessSettings& access) {
    allowOrigin(webApplicationOrigin());
    for (const std::string& origin : access.allowedOrigins) {
        allowOrigin(origin);
    }
}

std::string FiscalPrinterBase::version() {
    return PROGRAM_VERSION_TEXT;
}

Redirect FiscalPrinterBase::redirectToConfigurationPage() {
    return Redirect();
}

ConfigurationData FiscalPrinterBase::getConfiguration() {
    return configuration.data;
}

void FiscalPrinterBase::saveConfiguration(ConfigurationData replacement) {
    configuration.data = std::move(replacement);
    std::exception_ptr saveFailure;
    try {
        configuration.save();
        // What was saved is from now on the configuration in force, as if read at start.
        configuration.loaded = true;
    } catch (const ConfigurationSaveError&) {
        // Answered below, once the connection matches the configuration in memory.
        saveFailure = std::current_exception();
    }
    if (configuration.data.selectedPrinter < 1) {
        disconnect();
    }
    if (saveFailure) {
        std::rethrow_exception(saveFailure);
    }
}
