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

enum class DocumentKind { Receipt, DailyReport };

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

// What the counters say of a receipt that is no longer open: one more completed receipt means
// it was completed; no completed receipt more means it was not. On a printer that counts only
// receipt numbers a moved number may be a cancellation, and without counters nothing is known.
DocumentOutcome outcomeByCounters(const std::optional<ReceiptCounters>& before,
                                  const std::optional<ReceiptCounters>& after);

// "receipt", "daily report": for the log, the program's page and the idempotency file.
const char* documentName(DocumentKind kind);

#endif
