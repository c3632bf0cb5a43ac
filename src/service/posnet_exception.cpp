#include "service/posnet_exception.h"

namespace {

const char* const internalError = "Internal Server Error";

Json::Value unusableRateBody(const UnusableVatRate& error) {
    Json::Value body;
    body["exception"] = "Drukarka podała stawkę VAT, której nie można użyć";
    body["rate"] = error.rate;
    body["received"] = error.received;
    return body;
}

Json::Value unreadableAnswerBody(const UnreadableAnswer& error) {
    Json::Value body;
    body["exception"] = "Drukarka podała wartość, której nie można odczytać";
    body["field"] = error.field;
    body["received"] = error.received;
    return body;
}

} // namespace

PosnetException::PosnetException(const PosnetError& error)
    : RestException(500, internalError, Json::Value()) {
    body["type"] = "POSNET";
    body["exception"]["code"] = error.code;
    body["exception"]["message"] = error.text;
    body["exception"]["description"] = error.call;
}

PosnetException::~PosnetException() = default;

OutcomeUnknownException::OutcomeUnknownException(const DocumentOutcomeUnknown& error)
    : RestException(PosnetException(error.lostLine)) {
    body["exception"]["message"] = outcomeUnknownMessage(error.kind);
    body["outcome"] = "unknown";
}

Json::Value outcomeUnknownBody(DocumentKind kind) {
    const PosnetError lostLine(POSNET_STATUS_DISCONNECTED, "", "POS_WaitForRequestCompleted()");
    return OutcomeUnknownException(DocumentOutcomeUnknown(lostLine, kind)).body;
}

const char* outcomeUnknownMessage(DocumentKind kind) {
    switch (kind) {
    case DocumentKind::Receipt:
        return "Utracono połączenie z drukarką i nie wiadomo, czy paragon został wydrukowany. "
               "Sprawdź ostatni paragon na drukarce, zanim wydrukujesz go ponownie.";
    case DocumentKind::DailyReport:
        return "Utracono połączenie z drukarką i nie wiadomo, czy raport dobowy został "
               "wydrukowany. Sprawdź ostatni wydruk na drukarce, zanim wydrukujesz raport "
               "ponownie.";
    default:
        return "Utracono połączenie z drukarką i nie wiadomo, czy wpłata lub wypłata została "
               "zapisana. Sprawdź stan kasy, zanim zapiszesz ją ponownie.";
    }
}

void rethrowAsAnswer() {
    try {
        throw;
    } catch (const PosnetError& error) {
        throw PosnetException(error);
    } catch (const DocumentOutcomeUnknown& error) {
        throw OutcomeUnknownException(error);
    } catch (const UnusableVatRate& error) {
        throw RestException(500, internalError, unusableRateBody(error));
    } catch (const UnreadableAnswer& error) {
        throw RestException(500, internalError, unreadableAnswerBody(error));
    } catch (const PrinterNotConnected&) {
        throw RestException(500, internalError, "Brak połączenia z drukarką");
    }
}
