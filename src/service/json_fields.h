// Reading the fields of a request's JSON body: amounts and quantities scaled to whole
// hundredths or ten-thousandths, texts in Windows-1250 cut to the printer's lengths. Each
// failure is a RestException 400 whose text names the field; `prefix` places a field inside
// its parent in that text ("Payments[1]." before "Amount").
#ifndef SERVICE_JSON_FIELDS_H
#define SERVICE_JSON_FIELDS_H

#include "rest/rest_exception.h"
#include <cstdint>
#include <json/value.h>
#include <string>

// Named after the web application's own types, as printer_types.h says.
namespace PrinterTypes { // NOLINT(readability-identifier-naming)

// A value of the sale together with whether the sale gave it.
template <typename T> struct Field {
    T value{};
    bool present = false;
};

// The largest stored amount or quantity: 99 999 999.99 or 999 999.9999.
constexpr int64_t largestScaledValue = 9999999999;
// The printer's payment forms are 0 to 8.
constexpr int64_t largestPaymentId = 8;
constexpr double hundredths = 100;
constexpr double tenThousandths = 10000;

RestException badRequest(const std::string& text);
// "required value NAME does not exist"
RestException missing(const std::string& name);
// "12.30" for 1230 hundredths.
std::string decimalText(int64_t hundredths);

// Null when `object` lacks the key; a body that is not an object (an array, a number)
// lacks every key, so that it is refused like an empty one.
const Json::Value* member(const Json::Value& object, const char* key);
// True when the key is there with any value but null.
bool given(const Json::Value& object, const char* key);

void requireScaled(const Json::Value& object, const char* key, double unitsPerWhole,
                   Field<int64_t>& out, const std::string& prefix = "");
void optionalScaled(const Json::Value& object, const char* key, double unitsPerWhole,
                    Field<int64_t>& out, const std::string& prefix = "");
// A whole number from 0 to `limit`.
void requireInteger(const Json::Value& object, const char* key, int64_t limit, Field<int64_t>& out,
                    const std::string& prefix = "");
void optionalText(const Json::Value& object, const char* key, std::size_t maximumBytes,
                  Field<std::string>& out);
// The text, or empty when the key is absent or not a string.
std::string optionalText(const Json::Value& object, const char* key, std::size_t maximumBytes);
void requireNonEmptyText(const Json::Value& object, const char* key, std::size_t maximumBytes,
                         Field<std::string>& out, const std::string& prefix = "");
// The value when it is a JSON boolean, else `otherwise`.
bool optionalBool(const Json::Value& object, const char* key, bool otherwise);
// Answers 400 unless lowest <= value <= highest, amounts in hundredths written as decimals.
void checkAmount(int64_t value, int64_t lowest, int64_t highest, const std::string& name);

} // namespace PrinterTypes

#endif
