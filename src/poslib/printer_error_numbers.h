// The numbers a Posnet printer answers a command with when it cannot carry it out, from the
// maker's published table: a frame error (an ERR frame, 1 to frame_error::highest) or a
// command's refusal ("?nnnn" after the command's name, up to command_error::highest). The
// printer library, the program and the virtual printer all take them from here; the
// library's own codes (library_error.h) lie outside both ranges.
#ifndef POSLIB_PRINTER_ERROR_NUMBERS_H
#define POSLIB_PRINTER_ERROR_NUMBERS_H

namespace frame_error {
constexpr int unknownCommand = 1;
constexpr int missingField = 2;
constexpr int fieldConversion = 3;
constexpr int badToken = 4;
constexpr int badChecksum = 5;
// A frame the printer cannot take apart; also an empty field value.
constexpr int frameError = 6;
constexpr int fieldLength = 10;
// No room for the command: the printer did not run it.
constexpr int inputBufferFull = 11;
constexpr int notImmediate = 12;
// "rpt": the printer holds no stored answer for the token.
constexpr int tokenNotFound = 13;
// No room for the command: the printer did not run it.
constexpr int inputQueueFull = 14;
constexpr int missingChecksum = 15;
constexpr int highest = 15;
} // namespace frame_error

namespace command_error {
constexpr int zeroReport = 382;
constexpr int paymentSumRange = 1952;
constexpr int alreadyCovered = 1953;
constexpr int depositRange = 1958;
constexpr int changeTooLarge = 1961;
constexpr int zeroPayment = 1962;
constexpr int afterDiscountRange = 1981;
constexpr int baseNotPositive = 1983;
constexpr int zeroDiscount = 1984;
constexpr int nothingAfterDiscount = 1985;
constexpr int discountNotAllowed = 1991;
constexpr int noItems = 1992;
// A VAT rate's number that is wrong, or a rate not in use.
constexpr int badVatRate = 2000;
constexpr int notWholeQuantity = 2001;
// No receipt is open.
constexpr int noTransaction = 2005;
constexpr int badPrice = 2006;
constexpr int badQuantity = 2007;
// A line's value other than its price times its quantity.
constexpr int badLineValue = 2008;
constexpr int zeroLineValue = 2009;
constexpr int totalsOverflow = 2010;
// "trinit" while a receipt is open.
constexpr int inTransaction = 2038;
constexpr int zeroTotal = 2041;
constexpr int paymentsShort = 2054;
constexpr int emptyText = 2056;
// A command the receipt's state does not allow; some models give it for "trinit" while a
// receipt is open.
constexpr int badState = 2060;
constexpr int nothingStarted = 2064;
constexpr int footerNotStarted = 2066;
constexpr int formUsedAsChange = 2094;
constexpr int emptyName = 2104;
constexpr int badDiscountType = 2600;
constexpr int discountRange = 2601;
constexpr int badFooterLine = 2702;
constexpr int tooManyFooterLines = 2703;
constexpr int badPaymentForm = 2705;
constexpr int discountCheck = 2801;
constexpr int depositCheck = 2803;
constexpr int totalNotLineSum = 2805;
constexpr int takenNotDepositSum = 2806;
constexpr int returnedNotDepositSum = 2807;
constexpr int paidNotPaymentSum = 2808;
constexpr int changeNotChangeSum = 2809;
constexpr int depositNotFound = 2853;
// Four decimal digits in "?nnnn".
constexpr int highest = 9999;
} // namespace command_error

#endif
