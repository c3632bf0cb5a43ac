#include "poslib/printer_error_numbers.h"
#include "posnet/code_page_converter.h"
#include "posnet/printer.h"
#include "posnet/request_limits.h"
#include <boost/log/trivial.hpp>
#include <cstring>

namespace {

std::string terminatedText(const char* buffer, size_t size) {
    return std::string(buffer, strnlen(buffer, size));
}

} // namespace

void Printer::runTransaction(const std::string& command, const std::string& parameters,
                             const TokenObserver& beforePosting) {
    BOOST_LOG_TRIVIAL(info) << "Posnet transaction: " << command;
    const POSNET_HANDLE request = postRequest(command, parameters, beforePosting);
    checkRequest(request, library.getRequestStatus(request), "POS_GetRequestStatus");
    library.destroyRequest(request);
    commandCompleted();
}

PosnetResponse Printer::runTransactionWithResponse(const std::string& command,
                                                   const std::string& parameters) {
    BOOST_LOG_TRIVIAL(info) << "Posnet transaction with response: " << command;
    const POSNET_HANDLE request = postRequest(command, parameters, TokenObserver());
    checkRequest(request, library.getRequestStatus(request), "POS_GetRequestStatus()");
    PosnetResponse values = responseValues(request);
    library.destroyRequest(request);
    commandCompleted();
    return values;
}

PosnetResponse Printer::responseValues(POSNET_HANDLE request) {
    PosnetResponse values;
    if (library.getResponseValueCount(request) > 0) {
        char name[POSNET_NAME_LENGTH] = {};
        char value[POSNET_VALUE_LENGTH] = {};
        while (library.popResponseValue(request, name, value, POSNET_VALUE_LENGTH) == 0) {
            values[terminatedText(name, POSNET_NAME_LENGTH)] =
                terminatedText(value, POSNET_VALUE_LENGTH);
        }
    }
    return values;
}

PosnetResponse Printer::optionalAnswer(const std::string& command) {
    try {
        return runTransactionWithResponse(command, "");
    } catch (const PosnetError& refusal) {
        if (refusal.code == POSNET_STATUS_DISCONNECTED) {
            throw;
        }
        // A printer without the answer still prints; only a lost answer to its receipt is
        // then harder to account for.
        return PosnetResponse();
    }
}

PosnetError Printer::posnetError(POSNET_STATUS code, const std::string& callName) {
    const char* text = library.getErrorString(code, "pl");
    const std::string description =
        CodePageConverter::instance().toUtf8(text != nullptr ? text : "(brak opisu)");
    BOOST_LOG_TRIVIAL(error) << "Posnet exception: " << code << " " << description;
    return PosnetError(code, description, callName);
}

void Printer::throwPosnetError(POSNET_STATUS code, const std::string& callName) {
    if (code == POSNET_STATUS_DISCONNECTED) {
        disconnect();
    }
    const PosnetError refusal = posnetError(code, callName);
    commandRefused(refusal);
    throw refusal;
}

void Printer::requireConnection() const {
    if (!open) {
        throw PrinterNotConnected();
    }
}

// Creates the request, posts it and waits until the printer has answered it.
POSNET_HANDLE Printer::postRequest(const std::string& command, const std::string& parameters,
                                   const TokenObserver& beforePosting) {
    const POSNET_HANDLE request = sendRequest(command, parameters, beforePosting);
    awaitAnswer(request);
    return request;
}

POSNET_HANDLE Printer::sendRequest(const std::string& command, const std::string& parameters,
                                   const TokenObserver& beforePosting) {
    requireConnection();
    const POSNET_HANDLE request =
        library.createRequestEx(device, command.c_str(), parameters.c_str());
    if (request == 0) {
        throwPosnetError(library.getError(device), "POS_CreateRequestEx()");
    }
    if (beforePosting) {
        uint32_t token = 0;
        beforePosting(library.getRequestToken(request, &token) == 0 ? std::optional<uint32_t>(token)
                                                                    : std::nullopt);
    }
    post(request);
    return request;
}

void Printer::post(POSNET_HANDLE request) {
    checkRequest(request, library.postRequest(request, posnet::postMode), "POS_PostRequest()");
}

void Printer::awaitAnswer(POSNET_HANDLE request) {
    checkRequest(request, library.waitForRequestCompleted(request, POSNET_WAIT_LIMIT_MS),
                 "POS_WaitForRequestCompleted()");
}

// A failed request is given back to the library before the error leaves, and before a
// lost connection closes the device it belongs to.
void Printer::checkRequest(POSNET_HANDLE request, POSNET_STATUS code, const char* callName) {
    if (code == 0) {
        return;
    }
    library.destroyRequest(request);
    throwPosnetError(code, callName);
}

// A frame error is no stored answer: tokenNotFound says the printer holds none for the token, and
// any other may be the printer's refusal of "rpt" itself. An answer under a name other than
// `command`'s is another command's that carried the same token.
StoredAnswer Printer::storedAnswer(uint32_t token, const char* command) {
    BOOST_LOG_TRIVIAL(info) << "Posnet transaction: rpt";
    requireConnection();
    const POSNET_HANDLE request = library.createRepeatRequest(device, token, command);
    if (request == 0) {
        throwPosnetError(library.getError(device), "POS_CreateRepeatRequest()");
    }
    post(request);
    awaitAnswer(request);
    const POSNET_STATUS status = library.getRequestStatus(request);
    library.destroyRequest(request);
    if (status == 0) {
        return StoredAnswer::Success;
    }
    // The printer's numbers for a refused command lie above its frame errors, and the
    // library's own codes above them.
    return status > frame_error::highest && status <= command_error::highest ? StoredAnswer::Refusal
                                                                             : StoredAnswer::None;
}
