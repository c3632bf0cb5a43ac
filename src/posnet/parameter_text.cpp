#include "posnet/parameter_text.h"

namespace {

constexpr int64_t oneUnit = 10000;

std::string entry(const std::string& name, const std::string& value) {
    return name + "," + value;
}

} // namespace

std::string buildParameterString(const std::map<std::string, std::string>& entries) {
    std::string text;
    for (const auto& [name, value] : entries) {
        if (!text.empty()) {
            text += '\n';
        }
        text += entry(name, value);
    }
    return text;
}

std::string formatQuantity(int64_t tenThousandths) {
    const int64_t fraction = tenThousandths % oneUnit;
    std::string text =
        std::to_string(tenThousandths / oneUnit) + "." + std::to_string(fraction / 1000);
    if (fraction % 1000 == 0) {
        return text + "0";
    }
    const std::string lastDigits = std::to_string(fraction % 1000);
    return text + std::string(3 - lastDigits.size(), '0') + lastDigits;
}

std::string buildLineParameters(const PrinterTypes::FiscalReceiptItem& item) {
    // A sale line without a quantity sells one unit.
    const int64_t quantity = item.Quantity.present ? item.Quantity.value : oneUnit;
    // A printer may refuse a unit without a value, so a line without a unit names none.
    const std::string& unit = item.ProductUnitOfMeasurment.value;
    return entry("na", item.ProductName.value) + "\n" +
           (unit.empty() ? "" : entry("jm", unit) + "\n") + entry("il", formatQuantity(quantity)) +
           "\n" + entry("pr", std::to_string(item.ProductCurrencyGrossPrice.value)) + "\n" +
           entry("vt", std::to_string(item.FiscalPrinterVatRateType.value)) + "\n" +
           entry("wa", std::to_string(item.GrossValue.value));
}

std::string buildPaymentParameters(const PrinterTypes::FiscalReceipt& receipt) {
    return buildParameterString({{"ty", std::to_string(receipt.FiscalPrinterPaymentId.value)},
                                 {"wa", std::to_string(receipt.GrossTotal.value)}});
}

std::string buildEndParameters(const PrinterTypes::FiscalReceipt& receipt) {
    const std::string total = std::to_string(receipt.GrossTotal.value);
    return buildParameterString({{"fp", total}, {"to", total}});
}
