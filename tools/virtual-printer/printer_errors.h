// How the simulated printer refuses: a frame error (answered as an ERR frame) or a command
// error (answered as "?nnnn" after the command's name). Numbers from the maker's published
// table, each given for the situation its name describes.
#ifndef VIRTUAL_PRINTER_PRINTER_ERRORS_H
#define VIRTUAL_PRINTER_PRINTER_ERRORS_H

#include <string>

namespace virtual_printer {

namespace frame_error {
constexpr int kUnknownCommand = 1;
constexpr int kMissingField = 2;
constexpr int kFieldConversion = 3;
constexpr int kBadToken = 4;
constexpr int kBadChecksum = 5;
constexpr int kFrameError = 6; // also an empty field value
constexpr int kFieldLength = 10;
constexpr int kInputBufferFull = 11;
constexpr int kNotImmediate = 12;
constexpr int kTokenNotFound = 13;
constexpr int kInputQueueFull = 14;
constexpr int kMissingChecksum = 15;
} // namespace frame_error

namespace command_error {
constexpr int kZeroReport = 382;
constexpr int kPaymentSumRange = 1952;
constexpr int kAlreadyCovered = 1953;
constexpr int kDepositRange = 1958;
constexpr int kChangeTooLarge = 1961;
constexpr int kZeroPayment = 1962;
constexpr int kAfterDiscountRange = 1981;
constexpr int kBaseNotPositive = 1983;
constexpr int kZeroDiscount = 1984;
constexpr int kNothingAfterDiscount = 1985;
constexpr int kDiscountNotAllowed = 1991;
constexpr int kNoItems = 1992;
constexpr int kBadVatRate = 2000;
constexpr int kNotWholeQuantity = 2001;
constexpr int kNoTransaction = 2005;
constexpr int kBadPrice = 2006;
constexpr int kBadQuantity = 2007;
constexpr int kBadLineValue = 2008;
constexpr int kZeroLineValue = 2009;
constexpr int kTotalsOverflow = 2010;
constexpr int kInTransaction = 2038;
constexpr int kZeroTotal = 2041;
constexpr int kPaymentsShort = 2054;
constexpr int kEmptyText = 2056;
constexpr int kBadState = 2060;
constexpr int kNothingStarted = 2064;
constexpr int kFooterNotStarted = 2066;
constexpr int kFormUsedAsChange = 2094;
constexpr int kEmptyName = 2104;
constexpr int kBadDiscountType = 2600;
constexpr int kDiscountRange = 2601;
constexpr int kBadFooterLine = 2702;
constexpr int kTooManyFooterLines = 2703;
constexpr int kBadPaymentForm = 2705;
constexpr int kDiscountCheck = 2801;
constexpr int kDepositCheck = 2803;
constexpr int kTotalNotLineSum = 2805;
constexpr int kTakenNotDepositSum = 2806;
constexpr int kReturnedNotDepositSum = 2807;
constexpr int kPaidNotPaymentSum = 2808;
constexpr int kChangeNotChangeSum = 2809;
constexpr int kDepositNotFound = 2853;
} // namespace command_error

struct FrameError {
    int number;
    std::string command; // empty when the frame had none to name
    std::string field;   // empty when no single field is at fault
};

struct CommandRefused {
    int number;
};

} // namespace virtual_printer

#endif
