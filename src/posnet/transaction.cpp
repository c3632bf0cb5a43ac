#include "posnet/posnet_exception.h"
#include "posnet/request_limits.h"
#include "service/fiscal_printer_base.h"
#include <boost/log/trivial.hpp>
#include <cstring>

namespace {

const size_t nameLength = 16;
const size_t valueLength = 256;

std::string terminatedText(const char* buffer, size_t size) {
    return std::string(buffer, strnlen(buffer, size));
}

} // namespace

void FiscalPrinterBase::runTransaction(const std::string& command, const std::string& parameters,
                                       const TokenObserver& beforePosting) {
    BOOST_LOG_TRIVIAL(info) << "Posnet transaction: " << command;
    const POSNET_HANDLE request = postRequest(command, parameters, beforePosting);
    checkRequest(request, POS_GetRequestStatus(request), "POS_GetRequestStatus");
    POS_DestroyRequest(request);
    printerActivity.commandCompleted();
}

PosnetResponse FiscalPrinterBase::runTransactionWithResponse(const std::string& command,
                                                             const std::string& parameters) {
    BOOST_LOG_TRIVIAL(info) << "Posnet transaction with response: " << command;
    const POSNET_HANDLE request = postRequest(command, parameters, TokenObserver());
    checkRequest(request, POS_GetRequestStatus(request), "POS_GetRequestStatus()");
    PosnetResponse values;
    if (POS_GetResponseValueCount(request) > 0) {
        char name[nameLength] = {};
        char value[valueLength] = {};
        while (POS_PopResponseValue(request, name, value, valueLength) == 0) {
            values[terminatedText(name, nameLength)] = terminatedText(value, valueLength);
        }
    }
    POS_DestroyRequest(request);
    printerActivity.commandCompleted();
    return values;
}

void FiscalPrinterBase::throwPosnetError(POSNET_STATUS code, const std::string& callName) {
    if (code == POSNET_STATUS_DISCONNECTED) {
        disconnect();
    }
    const PosnetException refusal(code, callName);
    printerActivity.commandRefused(refusal);
    throw refusal;
}

void FiscalPrinterBase::requireConnection() const {
    if (!connected) {
        throw RestException(500, "Internal Server Error", "Brak połączenia z drukarką");
    }
}

// Creates the request, posts it and waits until the printer has answered it.
POSNET_HANDLE FiscalPrinterBase::postRequest(const std::string& command,
                                             const std::string& parameters,
                                             const TokenObserver& beforePosting) {
    requireConnection();
    const POSNET_HANDLE request = POS_CreateRequestEx(device, command.c_str(), parameters.c_str());
    if (request == 0) {
        throwPosnetError(POS_GetError(device), "POS_CreateRequestEx()");
    }
    if (beforePosting) {
        uint32_t token = 0;
        beforePosting(POS_GetRequestToken(request, &token) == 0 ? std::optional<uint32_t>(token)
                                                                : std::nullopt);
    }
    awaitAnswer(request);
    return request;
}

void FiscalPrinterBase::awaitAnswer(POSNET_HANDLE request) {
    checkRequest(request, POS_PostRequest(request, posnet::postMode), "POS_PostRequest()");
    checkRequest(request, POS_WaitForRequestCompleted(request, posnet::waitLimit),
                 "POS_WaitForRequestCompleted()");
}

// A failed request is given back to the library before the error leaves, and before a
// lost connection closes the device it belongs to.
void FiscalPrinterBase::checkRequest(POSNET_HANDLE request, POSNET_STATUS code,
                                     const char* callName) {
    if (code == 0) {
        return;
    }
    POS_DestroyRequest(request);
    throwPosnetError(code, callName);
}
