// The fate of the fiscal documents the printer prints: each is followed from before it opens
// to its closing answer, and one whose closing answer was lost stays in doubt here until the
// printer's records settle it, now or at a later connection.
#ifndef POSNET_DOCUMENT_RECOVERY_H
#define POSNET_DOCUMENT_RECOVERY_H

#include "posnet/document_in_doubt.h"
#include "posnet/printer_errors.h"
#include <optional>
#include <string>

class Printer;

class DocumentRecovery {
public:
    explicit DocumentRecovery(Printer& printer) : printer(printer) {}
    DocumentRecovery(const DocumentRecovery&) = delete;
    DocumentRecovery& operator=(const DocumentRecovery&) = delete;

    // Announces the document before its first command reaches the printer, so that a record
    // of it can be kept first; a receipt's counters are added before it closes.
    DocumentInDoubt start(DocumentKind kind);
    // Runs the document's closing command; when its answer is lost, damaged or not its own,
    // finds out from the printer whether it was carried out: returns when it was, throws the
    // lost line's error when it was not, and DocumentOutcomeUnknown when the printer cannot
    // tell.
    void end(DocumentInDoubt document, const std::string& command, const std::string& parameters);
    // Asks the printer, on its open connection, what became of the document in doubt.
    DocumentOutcome settle();

    const std::optional<DocumentInDoubt>& documentInDoubt() const { return inDoubt; }
    void resume(const std::optional<DocumentInDoubt>& document) { inDoubt = document; }

private:
    void recoverOutcome(const DocumentInDoubt& document, const PosnetError& lostLine);
    DocumentOutcome reconnectAndSettle();
    DocumentOutcome findOutcome(const DocumentInDoubt& document);
    std::optional<bool> transactionOpen();
    std::optional<ReceiptCounters> readReceiptCounters();

    Printer& printer;
    std::optional<DocumentInDoubt> inDoubt;
};

#endif
