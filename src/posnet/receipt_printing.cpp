#include "poslib/printer_error_numbers.h"
#include "posnet/parameter_text.h"
#include "posnet/printer.h"
#include "posnet/request_limits.h"
#include <boost/log/trivial.hpp>

namespace {

const std::string nipEntry = "ni,";

// The printer's refusals of "trinit" while a receipt is open.
bool receiptStillOpen(POSNET_STATUS code) {
    return code == command_error::inTransaction || code == command_error::badState;
}

} // namespace

void Printer::printReceipt(const Receipt& receipt) {
    BOOST_LOG_TRIVIAL(info) << "Printing fiscal receipt.";
    try {
        try {
            printOnce(receipt);
        } catch (const QueueOverrun&) {
            // The receipt the printer holds misses a line it had no room for but has the
            // later ones, so it is not this sale: it is cancelled and printed anew.
            cancelTransaction();
            printOnce(receipt);
        }
    } catch (const PrinterError&) {
        // A half-printed receipt would block the printer's next one.
        cancelTransaction();
        throw;
    }
}

// trinit and trend wait for their answers: a receipt still open is cancelled and opened
// again, and the closing answer decides what the caller hears.
void Printer::printOnce(const Receipt& receipt) {
    const DocumentInDoubt document = recovery.start(DocumentKind::Receipt);
    openReceipt();
    std::vector<Command> sale;
    if (!receipt.buyerNip.empty()) {
        sale.push_back({"trnipset", nipEntry + receipt.buyerNip});
    }
    for (const ReceiptLine& line : receipt.lines) {
        sale.push_back({"trline", buildLineParameters(line)});
    }
    sale.push_back({"trpayment", buildPaymentParameters(receipt)});
    runCommands(sale);
    recovery.end(document, "trend", buildEndParameters(receipt));
}

// A receipt left open, by a cancellation the printer refused or by a line lost half-way,
// would make the printer refuse every later one until someone cancelled it by hand.
void Printer::openReceipt() {
    try {
        runTransaction("trinit", "bm,1");
    } catch (const PosnetError& refusal) {
        if (!receiptStillOpen(refusal.code)) {
            throw;
        }
        BOOST_LOG_TRIVIAL(info) << "A receipt is still open; cancelling it and opening again";
        cancelTransaction();
        runTransaction("trinit", "bm,1");
    }
}

void Printer::cancelTransaction() {
    BOOST_LOG_TRIVIAL(info) << "Canceling transaction";
    if (!open) {
        return;
    }
    const POSNET_HANDLE request = library.createRequest(device, "prncancel");
    if (request == 0) {
        return;
    }
    // The failure that led here is what the caller hears about; whether the printer took the
    // cancellation shows on its next receipt.
    library.postRequest(request, posnet::postMode);
    library.waitForRequestCompleted(request, POSNET_WAIT_LIMIT_MS);
    library.destroyRequest(request);
}
