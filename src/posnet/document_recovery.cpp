#include "posnet/document_recovery.h"

#include "platform/local_time.h"
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

// The closing command may have run whatever became of its answer: lost with the line, or
// come damaged or under another name.
bool answerMissing(POSNET_STATUS code) {
    return code == POSNET_STATUS_DISCONNECTED || code == POSNET_STATUS_BROKEN_ANSWER ||
           code == POSNET_STATUS_UNEXPECTED_ANSWER;
}

const char* closingCommand(DocumentKind kind) {
    switch (kind) {
    case DocumentKind::Receipt:
        return "trend";
    case DocumentKind::DailyReport:
        return "dailyrep";
    default:
        return "cash";
    }
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

DocumentInDoubt DocumentRecovery::start(DocumentKind kind) {
    DocumentInDoubt document;
    document.kind = kind;
    document.since = platform::utcTimestampNow();
    printer.documentProgress(document);
    return document;
}

void DocumentRecovery::end(DocumentInDoubt document, const std::string& command,
                           const std::string& parameters) {
    try {
        printer.runTransaction(command, parameters, [&](std::optional<uint32_t> token) {
            document.endToken = token;
            printer.documentProgress(document);
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
void DocumentRecovery::recoverOutcome(const DocumentInDoubt& document,
                                      const PosnetError& lostLine) {
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

DocumentOutcome DocumentRecovery::reconnectAndSettle() {
    const auto deadline = std::chrono::steady_clock::now() + recoveryTime;
    for (;;) {
        try {
            if (printer.reopen()) {
                return settle();
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

DocumentOutcome DocumentRecovery::settle() {
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
    printer.documentSettled(document, outcome);
    return outcome;
}

// The printer runs its commands in order, so the stored answer it gives is that of a closing
// command still queued when the line was lost, once it has run.
DocumentOutcome DocumentRecovery::findOutcome(const DocumentInDoubt& document) {
    const StoredAnswer stored =
        document.endToken ? printer.storedAnswer(*document.endToken, closingCommand(document.kind))
                          : StoredAnswer::None;
    if (document.kind != DocumentKind::Receipt) {
        return storedAnswerOutcome(stored);
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
        printer.cancelTransaction();
    }
    return outcome;
}

std::optional<bool> DocumentRecovery::transactionOpen() {
    const PosnetResponse values = printer.runTransactionWithResponse("strns", "");
    const auto open = values.find("to");
    if (open == values.end() || (open->second != "0" && open->second != "1")) {
        return std::nullopt;
    }
    return open->second == "1";
}

std::optional<ReceiptCounters> DocumentRecovery::readReceiptCounters() {
    return receiptCounters(printer.optionalAnswer("scnt"));
}
