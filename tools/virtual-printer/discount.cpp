#include "discount.h"

#include "poslib/sale_limits.h"
#include "printer_errors.h"
#include "receipt.h"

#include <cstdlib>

namespace virtual_printer {

namespace {

using sale_limit::largestPercent;
constexpr int64_t wholePercent = 10000;

int64_t roundedShare(int64_t value, int64_t hundredthsOfPercent) {
    return (value * hundredthsOfPercent + wholePercent / 2) / wholePercent;
}

} // namespace

Discount readDiscount(const Command& command, const std::string& nameField) {
    return {!boolField(command, "rd", true), optionalAmount(command, "rp"),
            optionalAmount(command, "rw"),
            optionalText(command, nameField, longestDiscountName).value_or("")};
}

int64_t discountAmount(int64_t value, const Discount& discount, bool discountFirst) {
    if (!discount.percent) {
        if (*discount.amount == 0) {
            throw CommandRefused{command_error::zeroDiscount};
        }
        return *discount.amount;
    }
    const int64_t percent = *discount.percent;
    if (percent == 0) {
        throw CommandRefused{command_error::zeroDiscount};
    }
    if (percent > largestPercent) {
        throw CommandRefused{command_error::discountRange};
    }
    const int64_t after =
        roundedShare(value, discount.markup ? wholePercent + percent : wholePercent - percent);
    const int64_t amount = discountFirst ? roundedShare(value, percent) : std::abs(value - after);
    if (discount.amount && *discount.amount != amount) {
        throw CommandRefused{command_error::discountCheck};
    }
    return amount;
}

int64_t applyDiscount(int64_t value, const Discount& discount, int64_t amount) {
    if (!discount.markup && amount >= value) {
        throw CommandRefused{command_error::nothingAfterDiscount};
    }
    if (discount.markup && value + amount > largestAmount) {
        throw CommandRefused{command_error::afterDiscountRange};
    }
    return discount.markup ? value + amount : value - amount;
}

std::string discountText(const Discount& discount, int64_t amount) {
    std::string text = discount.markup ? "MARKUP " : "DISCOUNT ";
    if (!discount.name.empty()) {
        text += discount.name + " ";
    }
    if (discount.percent) {
        text += formatRate(static_cast<int>(*discount.percent)) + "% ";
    }
    return text + (discount.markup ? "+" : "-") + formatAmount(amount);
}

} // namespace virtual_printer
