#include "logging/logging.h"
#include "platform/app_data.h"
#include "service/fiscal_printer_base.h"
#include "service/posnet_exception.h"

#include <boost/asio/post.hpp>
#include <ctime>

Json::Value FiscalPrinterBase::status() {
    checkConnection();
    Json::Value answer(Json::objectValue);
    answer["version"] = version();
    answer["configured"] = isConfigured();
    answer["connected"] = connected();
    answer["port"] = configuration.data.port;
    answer["line"] = lineSettingsStatus(printer.lineSettings());
    answer["lastCompletedCommand"] = printerActivity.lastCompleted();
    answer["lastRefusal"] = printerActivity.lastRefusal();
    answer["documentInDoubt"] = documentInDoubtStatus();
    answer["certificate"]["subject"] = certificate.subject;
    answer["certificate"]["expires"] = certificate.expires;
    answer["certificate"]["daysLeft"] = Json::Int64(certificate.daysLeft(std::time(nullptr)));
    answer["certificate"]["validFrom"] = certificate.validFrom;
    answer["certificate"]["usable"] = certificate.validAt(std::time(nullptr));
    answer["logFolder"] = platform::utf8Name(logDirectory());
    return answer;
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
    if (!connected()) {
        return;
    }
    try {
        runTransaction("sid", "");
    } catch (const RestException&) {
        // The refusal is what the page shows as the printer's last one, and a lost line has
        // already closed the connection; the answer is the status either way.
    }
}

void FiscalPrinterBase::serveRenewedCertificate() {
    reloadCertificate();
    CertificateSummary renewed = readCertificateSummary(settings.certificateChainFile);
    boost::asio::post(ioContext, [this, renewed] { certificate = renewed; });
}
