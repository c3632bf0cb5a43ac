#include "logging/logging.h"
#include "platform/app_data.h"
#include "service/fiscal_printer_base.h"
#include "service/posnet_exception.h"

#include <chrono>
#include <ctime>
#include <future>
#include <stdexcept>

// While the printer works, its state as last published is the answer: the printer is
// evidently there, and the page must not wait for it.
void FiscalPrinterBase::answerStatus(std::shared_ptr<RestRequest> request,
                                     std::shared_ptr<RestResponse> response, RouteAnswer answer) {
    const PrinterWorker::Activity activity = worker.activity();
    if (activity.operation) {
        response->json = status(activity);
        answer(nullptr);
        return;
    }
    onPrinter("status",
              [this](std::shared_ptr<RestRequest>, std::shared_ptr<RestResponse> response) {
                  checkConnection();
                  learnPrinterInfo();
                  publish();
                  PrinterWorker::Activity idle = worker.activity();
                  idle.operation.reset();
                  response->json = status(idle);
              })(request, response, answer);
}

Json::Value FiscalPrinterBase::status(const PrinterWorker::Activity& activity) {
    std::lock_guard<std::mutex> lock(publishedMutex);
    Json::Value answer(Json::objectValue);
    answer["version"] = version();
    answer["configured"] = configuredIn(published.configuration);
    answer["connected"] = published.connected;
    answer["port"] = published.configuration.data.port;
    const std::optional<PrinterInfo>& printerInfo = published.printerInfo;
    answer["model"] = printerInfo ? Json::Value(printerInfo->model) : Json::Value();
    answer["firmware"] = printerInfo ? Json::Value(printerInfo->firmware) : Json::Value();
    answer["line"] = published.line;
    answer["lastCompletedCommand"] = published.lastCompleted;
    answer["lastRefusal"] = published.lastRefusal;
    answer["documentInDoubt"] = published.documentInDoubt;
    if (activity.operation) {
        answer["busy"]["operation"] = *activity.operation;
        answer["busy"]["since"] = activity.since;
    } else {
        answer["busy"] = Json::Value();
    }
    answer["waiting"] = Json::UInt64(activity.waiting);
    const CertificateSummary& certificate = published.certificate;
    answer["certificate"]["subject"] = certificate.subject;
    answer["certificate"]["expires"] = certificate.expires;
    answer["certificate"]["daysLeft"] = Json::Int64(certificate.daysLeft(std::time(nullptr)));
    answer["certificate"]["validFrom"] = certificate.validFrom;
    answer["certificate"]["usable"] = certificate.validAt(std::time(nullptr));
    answer["logFolder"] = platform::utf8Name(logDirectory());
    return answer;
}

void FiscalPrinterBase::publish() {
    std::lock_guard<std::mutex> lock(publishedMutex);
    published.connected = printer.connected();
    published.line = lineSettingsStatus(printer.lineSettings());
    published.lastCompleted = printerActivity.lastCompleted();
    published.lastRefusal = printerActivity.lastRefusal();
    published.documentInDoubt = documentInDoubtStatus();
    published.printerInfo = knownPrinterInfo;
    published.configuration = configuration;
}

bool FiscalPrinterBase::connected() const {
    std::lock_guard<std::mutex> lock(publishedMutex);
    return published.connected;
}

// What the cashier must check on the printer before printing the document again.
Json::Value FiscalPrinterBase::documentInDoubtStatus() const {
    const std::optional<DocumentInDoubt>& document = printer.documentInDoubt();
    if (!document) {
        return Json::Value();
    }
    Json::Value status(Json::objectValue);
    status["document"] = documentName(document->kind);
    status["since"] = document->since;
    status["message"] = outcomeUnknownMessage(document->kind);
    return status;
}

void FiscalPrinterBase::checkConnection() {
    if (!printer.connected()) {
        return;
    }
    try {
        runTransaction("sid", "");
    } catch (const RestException&) {
        // The refusal is what the page shows as the printer's last one, and a lost line has
        // already closed the connection; the answer is the status either way.
    }
}

void FiscalPrinterBase::learnPrinterInfo() {
    if (!printer.connected() || knownPrinterInfo) {
        return;
    }
    try {
        printerInfo();
    } catch (const PrinterError&) {
        // The page shows the model as unknown and the refusal as the printer's last one; it is
        // not asked again on this connection, so that the refusal does not recur at each look.
        knownPrinterInfo = PrinterInfo();
    }
}

void FiscalPrinterBase::serveRenewedCertificate() {
    std::future<void> swapped = server.reloadCertificate();
    if (swapped.wait_for(reloadWait) != std::future_status::ready) {
        throw std::runtime_error("the server has not switched to it within " +
                                 std::to_string(reloadWait.count()) + " s");
    }
    swapped.get();
    CertificateSummary renewed =
        readCertificateSummary(server.serverSettings().certificateChainFile);
    std::lock_guard<std::mutex> lock(publishedMutex);
    published.certificate = std::move(renewed);
}
