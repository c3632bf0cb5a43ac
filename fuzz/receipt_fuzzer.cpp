// Feeds arbitrary bytes as the body of a "/printer/print" request: parsed as the REST layer
// parses it, then read as a sale. Refusing the body is a valid outcome; a sale that is
// accepted must hold only what the printer can take.
#include "rest/rest_exception.h"
#include "rest/rest_request.h"
#include "service/printer_types.h"
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <ostream>
#include <string>

namespace {

constexpr int64_t largestScaledValue = 9999999999;

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void checkRange(const PrinterTypes::Field<int64_t>& field, int64_t limit) {
    require(!field.present || (field.value >= 0 && field.value <= limit));
}

// Line feeds and TABs would split a printer command's parameters or fields.
void checkText(const PrinterTypes::Field<std::string>& field, std::size_t maximumBytes) {
    require(field.value.size() <= maximumBytes);
    for (unsigned char byte : field.value) {
        require(byte >= 0x20);
    }
}

void checkItem(const PrinterTypes::FiscalReceiptItem& item) {
    require(item.ProductName.present && !item.ProductName.value.empty());
    checkText(item.ProductName, 40);
    checkText(item.ProductUnitOfMeasurment, 4);
    checkRange(item.Quantity, largestScaledValue);
    require(item.ProductCurrencyGrossPrice.present && item.FiscalPrinterVatRateType.present &&
            item.GrossValue.present);
    checkRange(item.ProductCurrencyGrossPrice, largestScaledValue);
    checkRange(item.FiscalPrinterVatRateType, 6);
    checkRange(item.GrossValue, largestScaledValue);
}

void checkReceipt(const PrinterTypes::FiscalReceipt& receipt) {
    require(receipt.GrossTotal.present && receipt.FiscalPrinterPaymentId.present &&
            receipt.Items.present);
    checkRange(receipt.GrossTotal, largestScaledValue);
    checkRange(receipt.FiscalPrinterPaymentId, 8);
    for (const PrinterTypes::FiscalReceiptItem& item : receipt.Items.value) {
        checkItem(item);
    }
    checkText(receipt.CustomerNip, 10);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    HttpRequest httpRequest;
    httpRequest.headers["Content-Length"] = std::to_string(size);
    std::ostream(&httpRequest.buffer)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    try {
        const RestRequest request(httpRequest);
        checkReceipt(PrinterTypes::FiscalReceipt(request));
    } catch (const RestException&) {
        // A body that does not parse, or a sale refused with 400; any other exception is a
        // fault.
    }
    return 0;
}
