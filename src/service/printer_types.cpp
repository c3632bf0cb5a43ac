#include "service/printer_types.h"

#include "rest/rest_request.h"
#include "service/json_fields.h"
#include <string>

namespace PrinterTypes {
namespace {

constexpr int64_t largestVatRateType = 6;

} // namespace

FiscalReceiptItem::FiscalReceiptItem(const Json::Value& element, const std::string& prefix) {
    requireNonEmptyText(element, "ProductName", 40, ProductName);
    optionalText(element, "ProductUnitOfMeasurment", 4, ProductUnitOfMeasurment);
    optionalScaled(element, "Quantity", tenThousandths, Quantity);
    requireScaled(element, "ProductCurrencyGrossPrice", hundredths, ProductCurrencyGrossPrice);
    requireInteger(element, "FiscalPrinterVatRateType", largestVatRateType,
                   FiscalPrinterVatRateType);
    requireScaled(element, "GrossValue", hundredths, GrossValue);
    readSaleKeys(element, prefix);
}

ReceiptLine FiscalReceiptItem::forPrinter() const {
    ReceiptLine line;
    line.name = ProductName.value;
    line.unit = ProductUnitOfMeasurment.value;
    if (Quantity.present) {
        line.quantity = Quantity.value;
    }
    line.price = ProductCurrencyGrossPrice.value;
    line.vatRate = FiscalPrinterVatRateType.value;
    line.value = GrossValue.value;
    if (Discount.present) {
        line.discount = Discount.value;
    }
    line.description = Description.value;
    return line;
}

FiscalReceipt::FiscalReceipt(const RestRequest& request) : FiscalReceipt(request.body) {}

FiscalReceipt::FiscalReceipt(const Json::Value& body) {
    requireScaled(body, "GrossTotal", hundredths, GrossTotal);
    // A sale paid in several forms names them there.
    if (!given(body, "Payments")) {
        requireInteger(body, "FiscalPrinterPaymentId", largestPaymentId, FiscalPrinterPaymentId);
    }
    const Json::Value* items = member(body, "Items");
    if (items == nullptr || !items->isArray()) {
        throw badRequest("Expected array [C]");
    }
    for (Json::ArrayIndex index = 0; index < items->size(); ++index) {
        Items.value.emplace_back((*items)[index], "Items[" + std::to_string(index) + "].");
    }
    Items.present = true;
    optionalText(body, "CustomerNip", 10, CustomerNip);
    readSaleKeys(body);
    // A sale without them is left to the printer's checks, as it always was.
    if (usesSaleKeys()) {
        checkSums();
    }
}

Receipt FiscalReceipt::forPrinter(bool withBuyerNip) const {
    Receipt receipt;
    if (withBuyerNip) {
        receipt.buyerNip = CustomerNip.value;
    }
    for (const FiscalReceiptItem& item : Items.value) {
        receipt.lines.push_back(item.forPrinter());
    }
    if (Discount.present) {
        receipt.discount = Discount.value;
    }
    receipt.deposits = Deposits.value;
    receipt.payments =
        Payments.present ? Payments.value
                         : std::vector<::Payment>{{FiscalPrinterPaymentId.value, GrossTotal.value}};
    receipt.footer = FooterLines.value;
    receipt.total = GrossTotal.value;
    return receipt;
}

} // namespace PrinterTypes
