// A fiscal document (a receipt or the daily report) whose closing command the program sent
// without seeing the printer's answer. Such a document cannot be taken back and must not be
// printed twice, so the program asks the printer what became of it instead of reporting a
// refusal.
#ifndef POSNET_DOCUMENT_IN_DOUBT_H
#define POSNET_DOCUMENT_IN_DOUBT_H

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>

enum class DocumentKind { Receipt, DailyReport, CashSlip };

enum class DocumentOutcome { Completed, NotCompleted, Unknown };

// The printer's receipt counters ("scnt"): current models count completed ("bn") and
// cancelled ("bc") receipts; older ones give only the last receipt's number ("bn"), which a
// cancelled receipt may move as well.
struct ReceiptCounters {
    int64_t completed = 0;
    std::optional<int64_t> cancelled;

    bool operator==(const ReceiptCounters& other) const {
        return completed == other.completed && cancelled == other.cancelled;
    }
};

struct DocumentInDoubt {
    DocumentKind kind = DocumentKind::Receipt;
    // Read before the receipt was opened; none when the printer did not give them.
    std::optional<ReceiptCounters> countersBefore;
    // The token of the closing command's frame ("trend", "dailyrep"), once it was made.
    std::optional<uint32_t> endToken;
    // When the document was started, ISO 8601 in UTC.
    std::string since;

    bool operator==(const DocumentInDoubt& other) const {
        return kind == other.kind && countersBefore == other.countersBefore &&
               endToken == other.endToken && since == other.since;
    }
};

// The counters of an "scnt" answer; none without a usable "bn".
std::optional<ReceiptCounters>
receiptCounters(const std::unordered_map<std::string, std::string>& values);

// What the printer still holds of a document's closing command ("rpt" by its token): its
// success, its refusal, or nothing usable (no token, not kept, under another command's name,
// damaged).
enum class StoredAnswer { Success, Refusal, None };

// What the printer tells of a receipt whose closing answer was not seen.
struct ReceiptEvidence {
    StoredAnswer stored = StoredAnswer::None;
    // "strns": whether a receipt is open; none when the printer did not say.
    std::optional<bool> open;
    // Completed receipts now less their count before "trinit"; none without both counts.
    std::optional<int64_t> completedSince;
};

DocumentOutcome receiptOutcome(const ReceiptEvidence& evidence);
// A document without counters of its own (the daily report, a cash slip): only the stored
// answer to its command names it.
DocumentOutcome storedAnswerOutcome(StoredAnswer stored);

// "receipt", "daily report", "cash slip": for the log, the program's page and the idempotency file.
const char* documentName(DocumentKind kind);

#endif
