#include "discount.h"

#include "printer_errors.h"
#include "receipt.h"

#include <cstdlib>

namespace virtual_printer {

namespace {

constexpr int64_t kLargestPercent = 9999;
constexpr int64_t kWholePercent = 10000;

int64_t roundedShare(int64_t value, int64_t hundredthsOfPercent) {
    return (value * hundredthsOfPercent + kWholePercent / 2) / kWholePercent;
}

} // namespace

Discount readDiscount(const Command& command, const std::string& nameField) {
    return {!boolField(command, "rd", true), optionalAmount(command, "rp"),
            optionalAmount(command, "rw"),
            optionalText(command, nameField, kLongestDiscountName).value_or("")};
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
    if (percent > kLargestPercent) {
        throw CommandRefused{command_error::discountRange};
    }
    const int64_t after =
        roundedShare(value, discount.markup ? kWholePercent + percent : kWholePercent - percent);
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
    if (discount.markup && value + amount > kLargestAmount) {
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
