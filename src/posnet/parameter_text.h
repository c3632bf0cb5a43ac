// The parameter texts of the printer commands: entries "name,value" separated by line feeds.
#ifndef POSNET_PARAMETER_TEXT_H
#define POSNET_PARAMETER_TEXT_H

#include "posnet/printer_records.h"
#include <cstdint>
#include <map>
#include <string>

// The entries in ascending name order; an empty map gives an empty text.
std::string buildParameterString(const std::map<std::string, std::string>& entries);

// A quantity in ten-thousandths (at least 0) as the printer reads it: 10000 gives "1.00",
// 15000 "1.50", 10500 "1.0500".
std::string formatQuantity(int64_t tenThousandths);

// "trline": name, unit, quantity (1 when the sale gives none), price, VAT rate and value.
std::string buildLineParameters(const ReceiptLine& line);
// "trpayment": the payment form and the total.
std::string buildPaymentParameters(const Receipt& receipt);
// "trend": the fiscal total and the payments total, both the receipt's total.
std::string buildEndParameters(const Receipt& receipt);

#endif
