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

// "trline": name, unit, quantity (1 when the sale gives none), price, VAT rate and value, then
// the discount and the description when the line has them.
std::string buildLineParameters(const ReceiptLine& line);
// "trdiscntbill": the receipt's discount.
std::string buildReceiptDiscountParameters(const Discount& discount);
// "trpack": the packaging's number, quantity, price, whether returned, and its description.
std::string buildDepositParameters(const Deposit& deposit);
// "trpayment": the payment form and amount; `change` marks change given in that form.
std::string buildPaymentParameters(const Payment& payment, bool change = false);
// What the payments come to beyond the receipt's total: change, given in cash.
int64_t changeDue(const Receipt& receipt);
// Change goes out as a cash line of its own unless cash was paid: the printer gives the
// change of an overpaid cash payment itself, and takes no form as both payment and change.
bool changeSentAsLine(const Receipt& receipt);
// "trend": the fiscal total, the payments, the change line, the deposits taken and returned,
// and "fe,0" when footer lines follow.
std::string buildEndParameters(const Receipt& receipt);
// "trftrln": the line's keyword and its text.
std::string buildFooterLineParameters(const FooterLine& line);

#endif
