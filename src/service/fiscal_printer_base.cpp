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

// How long a caller refused for a busy printer waits before it tries again: about what a
// receipt of a few dozen lines takes.
constexpr int retryAfterSeconds = 5;

// 503 with "Retry-After": the printer cannot take the request now.
std::exception_ptr busyAnswer(const PrinterBusy& busy, HttpResponse& response) {
    BOOST_LOG_TRIVIAL(error) << "Refused: " << busy.what();
    response.headers["Retry-After"] = std::to_string(retryAfterSeconds);
    Json::Value body(Json::objectValue);
    body["exception"] = busy.what();
    return std::make_exception_ptr(RestException(503, "Service Unavailable", body));
}

} // namespace

FiscalPrinterBase::FiscalPrinterBase(HttpServer& server, const AccessSettings& access,
                                     const LineSettings& line)
    : server(server), routes(server), printer(linkedPosnetLibrary(), line),
      worker(maxWaitingOperations) {
    published.certificate = readCertificateSummary(server.serverSettings().certificateChainFile);
    configuration.read();
    followPrinter();
    openIdempotencyStore();
    BOOST_LOG_TRIVIAL(info) << "Starting server...";
    BOOST_LOG_TRIVIAL(info) << "Setup handlers...";
    registerRoutes();
    allowCallers(access);
    connectIfConfigured();
    publish();
}

// A document that a crash or a lost line left in doubt is settled at the first connection.
void FiscalPrinterBase::openIdempotencyStore() {
    try {
        idempotency.open(configurationFolder());
    } catch (const std::runtime_error&) {
        // Without a data folder the keys are kept in memory only; the configuration's read
        // has already said that the folder is missing.
    }
    printer.resumeDocumentInDoubt(idempotency.unsettled());
    printer.documentProgress.connect(
        [this](const DocumentInDoubt& document) { idempotency.progress(document); });
    printer.documentSettled.connect(
        [this](const DocumentInDoubt& document, DocumentOutcome outcome) {
            idempotency.settle(document, outcome, outcomeUnknownBody(document.kind));
        });
}

// The tray follows the connection, and the program's page what the printer last did.
void FiscalPrinterBase::followPrinter() {
    printer.connectionChanged.connect([this](bool open) {
        knownPrinterInfo.reset();
        stateChanged(open ? Connected : Disconnected);
    });
    printer.commandCompleted.connect([this] { printerActivity.commandCompleted(); });
    printer.commandRefused.connect(
        [this](const PosnetError& refusal) { printerActivity.commandRefused(refusal); });
}

FiscalPrinterBase::~FiscalPrinterBase() {
    finish();
}

void FiscalPrinterBase::finish() {
    worker.finish([this] {
        disconnect();
        publish();
    });
}

void FiscalPrinterBase::registerRoutes() {
    using Self = FiscalPrinterBase;
    routes.addRoute("/config/serial_port_list", Method::GET,
                    adapt(bound(this, &Self::getSerialPortList)));
    // Routes that print or change the program's state are Actions: an image or a link of a
    // mail must not reach them.
    const RouteKind action = RouteKind::Action;
    routes.addRoute("/connect", Method::POST,
                    onPrinter("connect", adapt(bound(this, &Self::connect))), action);
    routes.addRoute("/disconnect", Method::GET,
                    onPrinter("disconnect", adapt(bound(this, &Self::disconnect))), action);
    routes.addRoute("/config/reload", Method::GET,
                    onPrinter("reload", adapt(bound(this, &Self::reload))), action);
    // Under the worker, a request with the key of one still waiting or printing waits for
    // it and gets its stored answer.
    routes.addRoute(
        "/printer/print", Method::POST,
        onPrinter("receipt", oncePerKey(adapt(bound(this, &Self::print)), idempotency, true)),
        action);
    routes.addRoute(
        "/printer/cash", Method::POST,
        onPrinter("cash", oncePerKey(adapt(bound(this, &Self::moveCash)), idempotency, true)),
        action);
    routes.addRoute("/printer/cash", Method::GET,
                    onPrinter("cashState", adapt(bound(this, &Self::cashState))));
    routes.addRoute("/printer/drawer", Method::POST,
                    onPrinter("drawer", adapt(bound(this, &Self::openDrawer))), action);
    routes.addRoute("/printer/info", Method::GET,
                    onPrinter("printerInfo", adapt(bound(this, &Self::printerInfo))));
    routes.addRoute("/config/version", Method::GET, adapt(bound(this, &Self::version)));
    routes.addRoute("/config/is_configured", Method::GET, adapt(bound(this, &Self::isConfigured)));
    routes.addRoute("/config/is_connected", Method::GET,
                    onPrinter("connectionCheck", adapt(bound(this, &Self::isConnected))));
    routes.addRoute("/config/is_connected_active", Method::GET,
                    onPrinter("connectionCheck", adapt(bound(this, &Self::isConnectedActive))));
    routes.addRoute("/config/get", Method::GET, adapt(bound(this, &Self::getConfiguration)));
    routes.addRoute("/config/save", Method::POST,
                    onPrinter("configurationSave", adapt(bound(this, &Self::saveConfiguration))),
                    action);
    routes.addRoute("/printer/get_vat_mapping", Method::GET,
                    onPrinter("vatRates", adapt(bound(this, &Self::getVatMapping))));
    routes.addRoute("/daily_report", Method::GET,
                    onPrinter("dailyReport", oncePerKey(adapt(bound(this, &Self::dailyReport)),
                                                        idempotency, Json::Value())),
                    action);
    // The web application links to it from its own pages.
    routes.addRoute("/config/firefox", Method::GET,
                    adapt(bound(this, &Self::redirectToConfigurationPage)),
                    RouteKind::NavigationTarget);
    registerPageRoutes();
}

// The program's own page, for the shop's IT person; the web application uses none of it.
void FiscalPrinterBase::registerPageRoutes() {
    for (const PageDocument& document : pageDocuments) {
        routes.addRoute(document.path, Method::GET, pageDocumentHandler(document), RouteKind::Page);
    }
    routes.addRoute(
        "/status", Method::GET,
        LaterRouteHandler([this](std::shared_ptr<RestRequest> request,
                                 std::shared_ptr<RestResponse> response,
                                 RouteAnswer answer) { answerStatus(request, response, answer); }),
        RouteKind::PageData);
}

void FiscalPrinterBase::allowCallers(const AccessSettings& access) {
    routes.allowOrigin(webApplicationOrigin());
    for (const std::string& origin : access.allowedOrigins) {
        routes.allowOrigin(origin);
    }
}

LaterRouteHandler FiscalPrinterBase::onPrinter(const std::string& operation, RouteHandler handler) {
    return [this, operation, handler](std::shared_ptr<RestRequest> request,
                                      std::shared_ptr<RestResponse> response, RouteAnswer answer) {
        auto run = [this, handler, request, response, answer] {
            std::exception_ptr failure;
            try {
                handler(request, response);
            } catch (...) {
                failure = std::current_exception();
            }
            publish();
            answer(failure);
        };
        auto drop = [answer, response] {
            answer(busyAnswer(PrinterBusy("The program is ending; the request was not carried "
                                          "out"),
                              *response->httpResponse));
        };
        try {
            worker.submit(operation, std::move(run), std::move(drop));
        } catch (const PrinterBusy& busy) {
            std::rethrow_exception(busyAnswer(busy, *response->httpResponse));
        }
    };
}

std::string FiscalPrinterBase::version() {
    return PROGRAM_VERSION_TEXT;
}

Redirect FiscalPrinterBase::redirectToConfigurationPage() {
    return Redirect();
}

ConfigurationData FiscalPrinterBase::getConfiguration() {
    std::lock_guard<std::mutex> lock(publishedMutex);
    return published.configuration.data;
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
