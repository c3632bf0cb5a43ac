#include "posnet/parameter_text.h"
#include "posnet/printer.h"
#include "posnet/request_limits.h"
#include <boost/log/trivial.hpp>

namespace {

const std::string nipEntry = "ni,";

// The printer's refusals of "trinit" while a receipt is open: "device in transaction mode",
// or "bad transaction state", which some models give instead.
bool receiptStillOpen(POSNET_STATUS code) {
    return code == 2038 || code == 2060;
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

// The counters, "trinit", the lines and the payment go out together, ahead of their answers:
// the printer runs them in order, so the counters are those before "trinit". "trend" waits for
// every answer, so that a refusal anywhere, "trinit"'s included, cancels the receipt instead of
// closing it. The counters reach the document's record with the closing token, before "trend";
// the record itself was written before anything was sent.
void Printer::printOnce(const Receipt& receipt) {
    DocumentInDoubt document = startDocument(DocumentKind::Receipt);
    PosnetResponse counters;
    runSale(saleCommands(receipt, counters));
    document.countersBefore = receiptCounters(counters);
    endDocument(document, "trend", buildEndParameters(receipt));
}

std::vector<Printer::Command> Printer::saleCommands(const Receipt& receipt,
                                                    PosnetResponse& counters) const {
    std::vector<Command> sale = {{"scnt", "", &counters}, {"trinit", "bm,1"}};
    if (!receipt.buyerNip.empty()) {
        sale.push_back({"trnipset", nipEntry + receipt.buyerNip});
    }
    for (const ReceiptLine& line : receipt.lines) {
        sale.push_back({"trline", buildLineParameters(line)});
    }
    sale.push_back({"trpayment", buildPaymentParameters(receipt)});
    return sale;
}

// A receipt left open, by a cancellation the printer refused or by a line lost half-way,
// would make the printer refuse every later one until someone cancelled it by hand. The lines
// sent behind the refused "trinit" went into that receipt and are cancelled with it; should
// its own till close it meanwhile, the printer refuses that, as the total no longer matches.
void Printer::runSale(const std::vector<Command>& sale) {
    try {
        runCommands(sale);
    } catch (const PosnetError& refusal) {
        if (!receiptStillOpen(refusal.code)) {
            throw;
        }
        BOOST_LOG_TRIVIAL(info) << "A receipt is still open; cancelling it and opening again";
        cancelTransaction();
        runCommands(sale);
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
    library.waitForRequestCompleted(request, posnet::waitLimit);
    library.destroyRequest(request);
}
