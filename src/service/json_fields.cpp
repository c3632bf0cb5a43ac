#include "service/json_fields.h"

#include "posnet/code_page_converter.h"
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace PrinterTypes {
namespace {

// Answers 400 unless 0 <= value <= limit. A value that is not a number at all is refused
// with the greater-than text, as no lower-than text could fit it.
void checkBounds(double value, int64_t limit, const std::string& name) {
    if (value < 0) {
        throw badRequest("value " + name + " is lower than 0");
    }
    if (!(value <= static_cast<double>(limit))) {
        throw badRequest("value " + name + " is greater than " + std::to_string(limit));
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

void readScaled(const Json::Value& value, const std::string& name, double unitsPerWhole,
                Field<int64_t>& out) {
    const double scaled = scaleDecimal(value.asDouble(), unitsPerWhole);
    checkBounds(scaled, largestScaledValue, name);
    out = {static_cast<int64_t>(scaled), true};
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

} // namespace

RestException badRequest(const std::string& text) {
    return RestException(400, "Bad Request", Json::Value(text));
}

RestException missing(const std::string& name) {
    return badRequest("required value " + name + " does not exist");
}

std::string decimalText(int64_t hundredths) {
    const std::string digits = std::to_string(std::llabs(hundredths) + 100);
    return (hundredths < 0 ? "-" : "") + std::to_string(std::llabs(hundredths) / 100) + "." +
           digits.substr(digits.size() - 2);
}

const Json::Value* member(const Json::Value& object, const char* key) {
    return object.isObject() ? object.find(key, key + std::strlen(key)) : nullptr;
}

bool given(const Json::Value& object, const char* key) {
    const Json::Value* value = member(object, key);
    return value != nullptr && !value->isNull();
}

void requireScaled(const Json::Value& object, const char* key, double unitsPerWhole,
                   Field<int64_t>& out, const std::string& prefix) {
    const Json::Value* value = member(object, key);
    if (value == nullptr || !value->isNumeric()) {
        throw missing(prefix + key);
    }
    readScaled(*value, prefix + key, unitsPerWhole, out);
}

void optionalScaled(const Json::Value& object, const char* key, double unitsPerWhole,
                    Field<int64_t>& out, const std::string& prefix) {
    const Json::Value* value = member(object, key);
    if (value != nullptr && value->isNumeric()) {
        readScaled(*value, prefix + key, unitsPerWhole, out);
    }
}

void requireInteger(const Json::Value& object, const char* key, int64_t limit, Field<int64_t>& out,
                    const std::string& prefix) {
    const Json::Value* value = member(object, key);
    if (value == nullptr || !value->isInt()) {
        throw missing(prefix + key);
    }
    const int64_t number = value->asInt64();
    checkBounds(static_cast<double>(number), limit, prefix + key);
    out = {number, true};
}

void optionalText(const Json::Value& object, const char* key, std::size_t maximumBytes,
                  Field<std::string>& out) {
    const Json::Value* value = member(object, key);
    if (value != nullptr && value->isString()) {
        out = {printerText(value->asString(), maximumBytes), true};
    }
}

std::string optionalText(const Json::Value& object, const char* key, std::size_t maximumBytes) {
    Field<std::string> text;
    optionalText(object, key, maximumBytes, text);
    return text.value;
}

void requireNonEmptyText(const Json::Value& object, const char* key, std::size_t maximumBytes,
                         Field<std::string>& out, const std::string& prefix) {
    const Json::Value* value = member(object, key);
    if (value == nullptr || !value->isString() || value->asString().empty()) {
        throw missing(prefix + key);
    }
    out = {printerText(value->asString(), maximumBytes), true};
}

bool optionalBool(const Json::Value& object, const char* key, bool otherwise) {
    const Json::Value* value = member(object, key);
    return value != nullptr && value->isBool() ? value->asBool() : otherwise;
}

void checkAmount(int64_t value, int64_t lowest, int64_t highest, const std::string& name) {
    if (value < lowest) {
        throw badRequest("value " + name + " is lower than " + decimalText(lowest));
    }
    if (value > highest) {
        throw badRequest("value " + name + " is greater than " + decimalText(highest));
    }
}

} // namespace PrinterTypes
