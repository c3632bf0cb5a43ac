#include "poslib/printer_error_numbers.h"
#include "posnet/parameter_text.h"
#include "posnet/printer.h"
#include "posnet/request_limits.h"
#include <boost/log/trivial.hpp>

namespace {

const std::string nipEntry = "ni,";
constexpr int64_t cashForm = 0;

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

// The counters, "trinit", the sale's commands go out together, ahead of their answers: the
// printer runs them in order, so the counters are those before "trinit". "trend" waits for
// every answer, so that a refusal anywhere, "trinit"'s included, cancels the receipt instead of
// closing it. The counters reach the document's record with the closing token, before "trend";
// the record itself was written before anything was sent. Once trend is answered the receipt
// is printed, whatever becomes of its footer lines.
void Printer::printOnce(const Receipt& receipt) {
    DocumentInDoubt document = recovery.start(DocumentKind::Receipt);
    PosnetResponse counters;
    runSale(saleCommands(receipt, counters));
    document.countersBefore = receiptCounters(counters);
    footerPending = !receipt.footer.empty();
    recovery.end(document, "trend", buildEndParameters(receipt));
    if (footerPending) {
        printFooter(receipt.footer);
    }
}

// In the printer's order: the counters, trinit, buyer, lines, the receipt's discount,
// deposits, payments, change.
std::vector<Printer::Command> Printer::saleCommands(const Receipt& receipt,
                                                    PosnetResponse& counters) {
    std::vector<Command> sale = {{"scnt", "", &counters}, {"trinit", "bm,1"}};
    if (!receipt.buyerNip.empty()) {
        sale.push_back({"trnipset", nipEntry + receipt.buyerNip});
    }
    for (const ReceiptLine& line : receipt.lines) {
        sale.push_back({"trline", buildLineParameters(line)});
    }
    if (receipt.discount) {
        sale.push_back({"trdiscntbill", buildReceiptDiscountParameters(*receipt.discount)});
    }
    for (const Deposit& deposit : receipt.deposits) {
        sale.push_back({"trpack", buildDepositParameters(deposit)});
    }
    for (const Payment& payment : receipt.payments) {
        sale.push_back({"trpayment", buildPaymentParameters(payment)});
    }
    if (changeSentAsLine(receipt)) {
        sale.push_back({"trpayment", buildPaymentParameters({cashForm, changeDue(receipt)}, true)});
    }
    return sale;
}

// The fiscal part is printed and cannot be printed again, so a footer line the printer
// refuses or loses is logged and the receipt is ended all the same.
void Printer::printFooter(const std::vector<FooterLine>& footer) {
    std::vector<Command> lines;
    for (const FooterLine& line : footer) {
        lines.push_back({"trftrln", buildFooterLineParameters(line)});
    }
    try {
        runCommands(lines);
        runTransaction("trftrend", "");
        footerPending = false;
        return;
    } catch (const PrinterError& failure) {
        BOOST_LOG_TRIVIAL(error) << "The receipt was printed, but its footer was not finished: "
                                 << failure.what();
    } catch (const QueueOverrun&) {
        BOOST_LOG_TRIVIAL(error)
            << "The receipt was printed, but the printer had no room for a footer line";
    }
    endFooterLeftOpen();
}

// A receipt whose footer stays open blocks the printer's next document, so a lost line is
// sought again at once; what cannot be ended now is ended at the next connection or before
// the next receipt.
void Printer::endFooterLeftOpen() {
    try {
        if (open || openConnection(connectedPort)) {
            finishOpenFooter();
        }
    } catch (const PrinterError&) {
        // Logged where it arose; the footer stays pending.
    }
}

// Ends a footer that a lost line or an earlier run of the program left open; nothing of the
// receipt is printed again.
bool Printer::finishOpenFooter() {
    const PosnetResponse status = runTransactionWithResponse("strns", "");
    const auto footer = status.find("fe");
    const bool leftOpen = footer != status.end() && footer->second == "1";
    if (leftOpen) {
        BOOST_LOG_TRIVIAL(info) << "A printed receipt's footer is still open; ending it";
        runTransaction("trftrend", "");
    }
    footerPending = false;
    return leftOpen;
}

// A receipt left open, by a cancellation the printer refused or by a line lost half-way,
// would make the printer refuse every later one until someone cancelled it by hand; one whose
// footer is open was printed and is only ended. The commands sent behind the refused "trinit"
// went into the open receipt and are cancelled with it (should its own till close it meanwhile,
// the printer refuses that, as the total no longer matches), or are refused by a footer.
void Printer::runSale(const std::vector<Command>& sale) {
    try {
        runCommands(sale);
    } catch (const PosnetError& refusal) {
        if (!receiptStillOpen(refusal.code)) {
            throw;
        }
        if (!footerEnded()) {
            BOOST_LOG_TRIVIAL(info) << "A receipt is still open; cancelling it and opening again";
            cancelTransaction();
        }
        runCommands(sale);
    }
}

// A printer that cannot say whether a footer is open gets the cancellation, as before footers.
bool Printer::footerEnded() {
    try {
        return finishOpenFooter();
    } catch (const PosnetError& refusal) {
        if (refusal.code == POSNET_STATUS_DISCONNECTED) {
            throw;
        }
        return false;
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
