#include "platform/local_time.h"
#include "posnet/document_in_doubt.h"
#include "posnet/printer.h"
#include <boost/log/trivial.hpp>
#include <chrono>
#include <thread>

namespace {

// The printer's frame errors are 1 to 15 (13: no stored answer for the token); its numbers
// for a refused command lie above them, and the library's own codes above 10000.
const POSNET_STATUS highestFrameError = 15;
const POSNET_STATUS highestPrinterNumber = 9999;
// A lost line often comes back at once (a cable moved, a network printer's connection
// dropped); the caller is waiting, so the printer gets a few seconds before the fate of the
// document is reported as unknown.
const std::chrono::seconds recoveryTime{10};
const std::chrono::seconds reconnectPause{1};

std::optional<int64_t> counterValue(const std::unordered_map<std::string, std::string>& values,
                                    const char* name) {
    const auto value = values.find(name);
    if (value == values.end() || value->second.empty() || value->second.size() > 18 ||
        value->second.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    return std::stoll(value->second);
}

const char* outcomeText(DocumentOutcome outcome) {
    switch (outcome) {
    case DocumentOutcome::Completed:
        return "the printer completed it";
    case DocumentOutcome::NotCompleted:
        return "the printer did not complete it";
    default:
        return "the printer's state does not tell whether it was completed";
    }
}

} // namespace

std::optional<ReceiptCounters>
receiptCounters(const std::unordered_map<std::string, std::string>& values) {
    const std::optional<int64_t> completed = counterValue(values, "bn");
    if (!completed) {
        return std::nullopt;
    }
    return ReceiptCounters{*completed, counterValue(values, "bc")};
}

DocumentOutcome outcomeByCounters(const std::optional<ReceiptCounters>& before,
                                  const std::optional<ReceiptCounters>& after) {
    if (!before || !after) {
        return DocumentOutcome::Unknown;
    }
    if (after->completed == before->completed) {
        return DocumentOutcome::NotCompleted;
    }
    return before->cancelled && after->cancelled ? DocumentOutcome::Completed
                                                 : DocumentOutcome::Unknown;
}

const char* documentName(DocumentKind kind) {
    return kind == DocumentKind::Receipt ? "receipt" : "daily report";
}

void Printer::resumeDocumentInDoubt(const std::optional<DocumentInDoubt>& document) {
    inDoubt = document;
}

DocumentInDoubt Printer::startDocument(DocumentKind kind) {
    DocumentInDoubt document;
    document.kind = kind;
    document.since = platform::utcTimestampNow();
    if (kind == DocumentKind::Receipt) {
        document.countersBefore = readReceiptCounters();
    }
    documentProgress(document);
    return document;
}

void Printer::endDocument(DocumentInDoubt document, const std::string& command,
                          const std::string& parameters) {
    try {
        runTransaction(command, parameters, [&](std::optional<uint32_t> token) {
            document.endToken = token;
            documentProgress(document);
        });
    } catch (const PosnetError& failure) {
        if (failure.code != POSNET_STATUS_DISCONNECTED) {
            throw;
        }
        recoverOutcome(document, failure);
    }
    if (inDoubt) {
        BOOST_LOG_TRIVIAL(info) << "The earlier " << documentName(inDoubt->kind)
                                << " in doubt is left unknown: a later document was completed";
        inDoubt.reset();
    }
}

// The closing command may have been carried out with only its answer lost: answering as if
// the printer had refused would make the cashier print the document a second time.
void Printer::recoverOutcome(const DocumentInDoubt& document, const PosnetError& lostLine) {
    BOOST_LOG_TRIVIAL(info) << "The printer's answer closing the " << documentName(document.kind)
                            << " was lost; asking the printer what became of it";
    inDoubt = document;
    switch (reconnectAndSettle()) {
    case DocumentOutcome::Completed:
        BOOST_LOG_TRIVIAL(info) << "Answer recovered: the " << documentName(document.kind)
                                << " was completed";
        return;
    case DocumentOutcome::NotCompleted:
        throw lostLine;
    default:
        throw DocumentOutcomeUnknown(lostLine, document.kind);
    }
}

DocumentOutcome Printer::reconnectAndSettle() {
    const auto deadline = std::chrono::steady_clock::now() + recoveryTime;
    for (;;) {
        try {
            if (openConnection(connectedPort)) {
                return settleDocumentInDoubt();
            }
        } catch (const PrinterError&) {
            // The port did not open; the library's failure is logged, and the next attempt
            // may find the printer back.
        }
        if (std::chrono::steady_clock::now() + reconnectPause > deadline) {
            return DocumentOutcome::Unknown;
        }
        std::this_thread::sleep_for(reconnectPause);
    }
}

DocumentOutcome Printer::settleDocumentInDoubt() {
    const DocumentInDoubt document = *inDoubt;
    DocumentOutcome outcome = DocumentOutcome::Unknown;
    try {
        outcome = findOutcome(document);
    } catch (const PrinterError&) {
        // The printer could not be asked to the end; the failure is logged where it arose,
        // and the document stays in doubt until the next connection.
    }
    BOOST_LOG_TRIVIAL(info) << "The " << documentName(document.kind) << " in doubt since "
                            << document.since << ": " << outcomeText(outcome);
    if (outcome != DocumentOutcome::Unknown) {
        inDoubt.reset();
        documentSettled(document, outcome);
    }
    return outcome;
}

// The printer runs its commands in order, so the stored answer it gives is that of a closing
// command still queued when the line was lost, once it has run.
DocumentOutcome Printer::findOutcome(const DocumentInDoubt& document) {
    std::optional<POSNET_STATUS> stored;
    if (document.endToken) {
        stored = storedAnswer(*document.endToken);
        if (stored == 0) {
            return DocumentOutcome::Completed;
        }
    }
    if (document.kind == DocumentKind::DailyReport) {
        return stored ? DocumentOutcome::NotCompleted : DocumentOutcome::Unknown;
    }
    const std::optional<bool> open = transactionOpen();
    if (!open) {
        return DocumentOutcome::Unknown;
    }
    if (*open) {
        cancelTransaction();
        return DocumentOutcome::NotCompleted;
    }
    if (stored) {
        return DocumentOutcome::NotCompleted;
    }
    return outcomeByCounters(document.countersBefore, readReceiptCounters());
}

// A frame error is no stored answer: 13 says the printer holds none for the token, and any
// other may be the printer's refusal of "rpt" itself.
std::optional<POSNET_STATUS> Printer::storedAnswer(uint32_t token) {
    BOOST_LOG_TRIVIAL(info) << "Posnet transaction: rpt";
    requireConnection();
    const POSNET_HANDLE request = library.createRepeatRequest(device, token);
    if (request == 0) {
        throwPosnetError(library.getError(device), "POS_CreateRepeatRequest()");
    }
    post(request);
    awaitAnswer(request);
    const POSNET_STATUS status = library.getRequestStatus(request);
    library.destroyRequest(request);
    if (status == 0 || (status > highestFrameError && status <= highestPrinterNumber)) {
        return status;
    }
    return std::nullopt;
}

std::optional<bool> Printer::transactionOpen() {
    const PosnetResponse values = runTransactionWithResponse("strns", "");
    const auto open = values.find("to");
    if (open == values.end() || (open->second != "0" && open->second != "1")) {
        return std::nullopt;
    }
    return open->second == "1";
}

std::optional<ReceiptCounters> Printer::readReceiptCounters() {
    try {
        return receiptCounters(runTransactionWithResponse("scnt", ""));
    } catch (const PosnetError& refusal) {
        if (refusal.code == POSNET_STATUS_DISCONNECTED) {
            throw;
        }
        // A printer without counters still prints; only a lost answer to its receipt is
        // then harder to account for.
        return std::nullopt;
    }
}
