#include "platform/local_time.h"
#include "poslib/printer_error_numbers.h"
#include "posnet/document_in_doubt.h"
#include "posnet/printer.h"
#include <boost/log/trivial.hpp>
#include <chrono>
#include <thread>

namespace {

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

// The closing command may have run whatever became of its answer: lost with the line, or
// come damaged or under another name.
bool answerMissing(POSNET_STATUS code) {
    return code == POSNET_STATUS_DISCONNECTED || code == POSNET_STATUS_BROKEN_ANSWER ||
           code == POSNET_STATUS_UNEXPECTED_ANSWER;
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

// The rule that settles a receipt, the printer's own records being its only witnesses:
// - completed: the stored answer to "trend", fetched by the token that command alone carried
//   and given back under the name "trend", is a success, no receipt is open, and where the
//   printer counts receipts, the completed ones stand exactly one above their count before
//   "trinit";
// - not completed: no stored success, and either the completed count has not moved (no
//   receipt was completed since ours was opened), or, on a printer without counts, the stored
//   answer is a refusal or our receipt is still open (it is then cancelled);
// - unknown: everything else. A count moved by more than one, or backwards (a daily report
//   that restarts the count, another till's receipts), names no document; a stored success
//   with an unmoved count, or a refusal with a count one up, are witnesses that disagree.
DocumentOutcome receiptOutcome(const ReceiptEvidence& evidence) {
    if (!evidence.open) {
        return DocumentOutcome::Unknown;
    }
    const bool counted = evidence.completedSince.has_value();
    if (evidence.stored == StoredAnswer::Success) {
        return !*evidence.open && (!counted || *evidence.completedSince == 1)
                   ? DocumentOutcome::Completed
                   : DocumentOutcome::Unknown;
    }
    if (counted ? *evidence.completedSince == 0
                : *evidence.open || evidence.stored == StoredAnswer::Refusal) {
        return DocumentOutcome::NotCompleted;
    }
    return DocumentOutcome::Unknown;
}

// A daily report has no counter of its own here: only its stored answer names it.
DocumentOutcome dailyReportOutcome(StoredAnswer stored) {
    switch (stored) {
    case StoredAnswer::Success:
        return DocumentOutcome::Completed;
    case StoredAnswer::Refusal:
        return DocumentOutcome::NotCompleted;
    default:
        return DocumentOutcome::Unknown;
    }
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
        if (!answerMissing(failure.code)) {
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
                            << " was lost or unreadable; asking the printer what became of it";
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
    }
    documentSettled(document, outcome);
    return outcome;
}

// The printer runs its commands in order, so the stored answer it gives is that of a closing
// command still queued when the line was lost, once it has run.
DocumentOutcome Printer::findOutcome(const DocumentInDoubt& document) {
    const char* closing = document.kind == DocumentKind::Receipt ? "trend" : "dailyrep";
    const StoredAnswer stored =
        document.endToken ? storedAnswer(*document.endToken, closing) : StoredAnswer::None;
    if (document.kind == DocumentKind::DailyReport) {
        return dailyReportOutcome(stored);
    }
    ReceiptEvidence evidence{stored, transactionOpen(), std::nullopt};
    if (!evidence.open) {
        return DocumentOutcome::Unknown;
    }
    if (document.countersBefore) {
        if (const std::optional<ReceiptCounters> now = readReceiptCounters()) {
            evidence.completedSince = now->completed - document.countersBefore->completed;
        }
    }
    const DocumentOutcome outcome = receiptOutcome(evidence);
    if (outcome == DocumentOutcome::NotCompleted && *evidence.open) {
        cancelTransaction();
    }
    return outcome;
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
