#include "service/printer_types.h"

#include "posnet/code_page_converter.h"
#include "rest/rest_exception.h"
#include "rest/rest_request.h"
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>

namespace PrinterTypes {
namespace {

// The largest stored amount or quantity: 99 999 999.99 or 999 999.9999.
constexpr int64_t largestScaledValue = 9999999999;
constexpr int64_t largestPaymentId = 8;
constexpr int64_t largestVatRateType = 6;
constexpr double hundredths = 100;
constexpr double tenThousandths = 10000;

RestException badRequest(const std::string& text) {
    return RestException(400, "Bad Request", Json::Value(text));
}

RestException missing(const char* key) {
    return badRequest(std::string("required value ") + key + " does not exist");
}

// Answers 400 unless 0 <= value <= limit. A value that is not a number at all is refused
// with the greater-than text, as no lower-than text could fit it.
void checkBounds(double value, int64_t limit, const char* key) {
    if (value < 0) {
        throw badRequest(std::string("value ") + key + " is lower than 0");
    }
    if (!(value <= static_cast<double>(limit))) {
        throw badRequest(std::string("value ") + key + " is greater than " + std::to_string(limit));
    }
}

// Writing the product with six decimal places and reading it back absorbs the binary noise
// of the multiplication (19.99 * 100 lies just below 1999); the rest is cut, not rounded.
double scaleDecimal(double number, double unitsPerWhole) {
    const double product = number * unitsPerWhole;
    if (!std::isfinite(product)) {
        return product;
    }
    char text[400]; // room for the widest finite double with six decimal places
    const auto written =
        std::to_chars(text, text + sizeof text, product, std::chars_format::fixed, 6);
    double rounded = 0;
    std::from_chars(text, written.ptr, rounded);
    return std::trunc(rounded);
}

// Null when `object` lacks the key; a body that is not an object (an array, a number)
// lacks every key, so that it is refused like an empty one.
const Json::Value* member(const Json::Value& object, const char* key) {
    return object.isObject() ? object.find(key, key + std::strlen(key)) : nullptr;
}

void readScaled(const Json::Value& value, const char* key, double unitsPerWhole,
                Field<int64_t>& out) {
    const double scaled = scaleDecimal(value.asDouble(), unitsPerWhole);
    checkBounds(scaled, largestScaledValue, key);
    out = {static_cast<int64_t>(scaled), true};
}

void requireScaled(const Json::Value& object, const char* key, double unitsPerWhole,
                   Field<int64_t>& out) {
    const Json::Value* value = member(object, key);
    if (value == nullptr || !value->isNumeric()) {
        throw missing(key);
    }
    readScaled(*value, key, unitsPerWhole, out);
}

void optionalScaled(const Json::Value& object, const char* key, double unitsPerWhole,
                    Field<int64_t>& out) {
    const Json::Value* value = member(object, key);
    if (value != nullptr && value->isNumeric()) {
        readScaled(*value, key, unitsPerWhole, out);
    }
}

void requireInteger(const Json::Value& object, const char* key, int64_t limit,
                    Field<int64_t>& out) {
    const Json::Value* value = member(object, key);
    if (value == nullptr || !value->isInt()) {
        throw missing(key);
    }
    const int64_t number = value->asInt64();
    checkBounds(static_cast<double>(number), limit, key);
    out = {number, true};
}

// Control bytes would separate parameters (line feed) or fields (TAB) of a printer command,
// so they become spaces before the text is cut to the printer's length.
std::string printerText(const std::string& utf8, std::size_t maximumBytes) {
    std::string text = CodePageConverter::instance().toWindows1250(utf8);
    for (char& byte : text) {
        if (static_cast<unsigned char>(byte) < 0x20) {
            byte = ' ';
        }
    }
    return text.substr(0, maximumBytes);
}

void optionalText(const Json::Value& object, const char* key, std::size_t maximumBytes,
                  Field<std::string>& out) {
    const Json::Value* value = member(object, key);
    if (value != nullptr && value->isString()) {
        out = {printerText(value->asString(), maximumBytes), true};
    }
}

void requireNonEmptyText(const Json::Value& object, const char* key, std::size_t maximumBytes,
                         Field<std::string>& out) {
    const Json::Value* value = member(object, key);
    if (value == nullptr || !value->isString() || value->asString().empty()) {
        throw missing(key);
    }
    out = {printerText(value->asString(), maximumBytes), true};
}

} // namespace

FiscalReceiptItem::FiscalReceiptItem(const Json::Value& element) {
    requireNonEmptyText(element, "ProductName", 40, ProductName);
    optionalText(element, "ProductUnitOfMeasurment", 4, ProductUnitOfMeasurment);
    optionalScaled(element, "Quantity", tenThousandths, Quantity);
    requireScaled(element, "ProductCurrencyGrossPrice", hundredths, ProductCurrencyGrossPrice);
    requireInteger(element, "FiscalPrinterVatRateType", largestVatRateType,
                   FiscalPrinterVatRateType);
    requireScaled(element, "GrossValue", hundredths, GrossValue);
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
    return line;
}

FiscalReceipt::FiscalReceipt(const RestRequest& request) : FiscalReceipt(request.body) {}

FiscalReceipt::FiscalReceipt(const Json::Value& body) {
    requireScaled(body, "GrossTotal", hundredths, GrossTotal);
    requireInteger(body, "FiscalPrinterPaymentId", largestPaymentId, FiscalPrinterPaymentId);
    const Json::Value* items = member(body, "Items");
    if (items == nullptr || !items->isArray()) {
        throw badRequest("Expected array [C]");
    }
    for (const Json::Value& element : *items) {
        Items.value.emplace_back(element);
    }
    Items.present = true;
    optionalText(body, "CustomerNip", 10, CustomerNip);
}

Receipt FiscalReceipt::forPrinter(bool withBuyerNip) const {
    Receipt receipt;
    if (withBuyerNip) {
        receipt.buyerNip = CustomerNip.value;
    }
    for (const FiscalReceiptItem& item : Items.value) {
        receipt.lines.push_back(item.forPrinter());
    }
    receipt.paymentForm = FiscalPrinterPaymentId.value;
    receipt.total = GrossTotal.value;
    return receipt;
}

} // namespace PrinterTypes
