#include "posnet/parameter_text.h"
#include "posnet/posnet_exception.h"
#include "posnet/request_limits.h"
#include "service/fiscal_printer_base.h"
#include <boost/log/trivial.hpp>

namespace {

const std::string nipEntry = "ni,";
// The printer's refusals of "trinit" while a receipt is open: "device in transaction mode",
// and "bad transaction state", which fits as well.
bool receiptStillOpen(POSNET_STATUS code) {
    return code == 2038 || code == 2060;
}

} // namespace

bool FiscalPrinterBase::print(PrinterTypes::FiscalReceipt receipt) {
    BOOST_LOG_TRIVIAL(info) << "Printing fiscal receipt.";
    try {
        openReceipt();
        const std::string nip = nipEntry + receipt.CustomerNip.value;
        if (!configuration.data.dontPrintNipOnFiscalPrinter && nip.size() > nipEntry.size()) {
            runTransaction("trnipset", nip);
        }
        for (const PrinterTypes::FiscalReceiptItem& item : receipt.Items.value) {
            runTransaction("trline", buildLineParameters(item));
        }
        runTransaction("trpayment", buildPaymentParameters(receipt));
        runTransaction("trend", buildEndParameters(receipt));
    } catch (const RestException&) {
        // A half-printed receipt would block the printer's next one.
        cancelTransaction();
        throw;
    }
    return true;
}

// A receipt left open, by a cancellation the printer refused or by a line lost half-way,
// would make the printer refuse every later one until someone cancelled it by hand.
void FiscalPrinterBase::openReceipt() {
    try {
        runTransaction("trinit", "bm,1");
    } catch (const PosnetException& refusal) {
        if (!receiptStillOpen(refusal.code())) {
            throw;
        }
        BOOST_LOG_TRIVIAL(info) << "A receipt is still open; cancelling it and opening again";
        cancelTransaction();
        runTransaction("trinit", "bm,1");
    }
}

void FiscalPrinterBase::cancelTransaction() {
    BOOST_LOG_TRIVIAL(info) << "Canceling transaction";
    if (!connected) {
        return;
    }
    const POSNET_HANDLE request = POS_CreateRequest(device, "prncancel");
    if (request == 0) {
        return;
    }
    // The failure that led here is what the caller hears about; whether the printer took the
    // cancellation shows on its next receipt.
    POS_PostRequest(request, posnet::postMode);
    POS_WaitForRequestCompleted(request, posnet::waitLimit);
    POS_DestroyRequest(request);
}
