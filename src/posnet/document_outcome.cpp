#include "posnet/document_in_doubt.h"

namespace {

std::optional<int64_t> counterValue(const std::unordered_map<std::string, std::string>& values,
                                    const char* name) {
    const auto value = values.find(name);
    if (value == values.end() || value->second.empty() || value->second.size() > 18 ||
        value->second.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    return std::stoll(value->second);
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

DocumentOutcome storedAnswerOutcome(StoredAnswer stored) {
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
    switch (kind) {
    case DocumentKind::Receipt:
        return "receipt";
    case DocumentKind::DailyReport:
        return "daily report";
    default:
        return "cash slip";
    }
}
