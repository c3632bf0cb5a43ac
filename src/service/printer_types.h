// The records that the service's operations take and return.
#ifndef SERVICE_PRINTER_TYPES_H
#define SERVICE_PRINTER_TYPES_H

#include "posnet/printer_records.h"
#include "service/json_fields.h"
#include <cstdint>
#include <json/value.h>
#include <string>
#include <vector>

class RestRequest;

// The namespace and the sale's fields carry the names of the web application's own types and
// JSON keys, so that each field reads as the key it is read from.
// NOLINTBEGIN(readability-identifier-naming)
namespace PrinterTypes {

// One sale line: amounts in hundredths, the quantity in ten-thousandths, texts in
// Windows-1250 cut to what the printer takes.
struct FiscalReceiptItem {
    FiscalReceiptItem() = default;
    // Reads one element of "Items"; throws RestException 400 at the first invalid field. The
    // texts of the keys beyond the basic line name it by `prefix`, such as "Items[2].".
    explicit FiscalReceiptItem(const Json::Value& element, const std::string& prefix = "");

    // The line as the printer takes it.
    ReceiptLine forPrinter() const;

    Field<std::string> ProductName;
    Field<std::string> ProductUnitOfMeasurment;
    Field<int64_t> Quantity;
    Field<int64_t> ProductCurrencyGrossPrice;
    Field<int64_t> FiscalPrinterVatRateType;
    Field<int64_t> GrossValue;
    Field<::Discount> Discount;
    Field<std::string> Description;

private:
    void readSaleKeys(const Json::Value& element, const std::string& prefix);
};

// A validated sale as the web application sends it to "/printer/print".
struct FiscalReceipt {
    FiscalReceipt() = default;
    explicit FiscalReceipt(const RestRequest& request);
    // Throws RestException 400 at the first invalid field; a body that is neither an object
    // nor null fails in the JSON library's own member lookup.
    explicit FiscalReceipt(const Json::Value& body);

    // The receipt as the printer takes it; `withBuyerNip` false leaves out the buyer's tax
    // number.
    Receipt forPrinter(bool withBuyerNip) const;

    Field<int64_t> GrossTotal;
    Field<int64_t> FiscalPrinterPaymentId;
    Field<std::vector<FiscalReceiptItem>> Items;
    Field<std::string> CustomerNip;
    Field<::Discount> Discount;
    Field<std::vector<::Deposit>> Deposits;
    Field<std::vector<::Payment>> Payments;
    Field<std::vector<FooterLine>> FooterLines;

private:
    // The keys beyond the basic sale, read after it; throws RestException 400 as above.
    void readSaleKeys(const Json::Value& body);
    // What the customer pays, checked against GrossTotal where the program can work it out.
    void checkSums() const;
    bool usesSaleKeys() const;
};

// A cash-in or cash-out slip as "/printer/cash" takes it: {"Amount": 100.00, "Direction":
// "In"} or "Out".
struct CashRequest {
    explicit CashRequest(const RestRequest& request);
    // Throws RestException 400 at the first invalid field.
    explicit CashRequest(const Json::Value& body);

    CashMovement forPrinter() const;

    Field<int64_t> Amount;
    Field<bool> In;
};

// The till's cash as the printer counts it, in hundredths.
struct CashState {
    int64_t amount = 0;
};

// The printer's seven VAT rates, as "/printer/get_vat_mapping" answers them.
using VatMapping = VatRates;

// Names of the serial ports present, in the order found.
using SerialPortList = std::vector<std::string>;

} // namespace PrinterTypes
// NOLINTEND(readability-identifier-naming)

// Returned by an operation whose answer is a redirect to the web application's
// configuration page; it carries no target.
struct Redirect {};

#endif
