// Receipts, VAT rates and the daily report are not built yet: their routes exist so that the
// web application gets a clear JSON answer instead of a 404. This file goes when they arrive.
#include "service/fiscal_printer_base.h"

namespace {

[[noreturn]] void notImplemented() {
    Json::Value body(Json::objectValue);
    body["exception"] = "Not Implemented";
    throw RestException(501, "Not Implemented", body);
}

} // namespace

bool FiscalPrinterBase::print(PrinterTypes::FiscalReceipt) {
    notImplemented();
}

PrinterTypes::VatMapping FiscalPrinterBase::getVatMapping() {
    notImplemented();
}

void FiscalPrinterBase::dailyReport() {
    notImplemented();
}
