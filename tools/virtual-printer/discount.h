// A discount or markup as a sale command carries it (rd, rp, rw and a name), and how the
// printer turns it into an amount.
#ifndef VIRTUAL_PRINTER_DISCOUNT_H
#define VIRTUAL_PRINTER_DISCOUNT_H

#include "command.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace virtual_printer {

constexpr std::size_t longestDiscountName = 25;

struct Discount {
    bool markup = false;
    std::optional<int64_t> percent; // hundredths of a percent: rp1500 is 15,00 %
    std::optional<int64_t> amount;  // with a percent, the amount it must come to
    std::string name;

    // False when the command carried neither rp nor rw.
    bool given() const { return percent || amount; }
};

// nameField is "rn" for trline and "na" for the receipt's discount. Throws FrameError for a
// field that does not convert.
Discount readDiscount(const Command& command, const std::string& nameField);

// The amount by which the discount changes value, never negative. discountFirst is the
// discounttypeset choice: false computes the value after a percent first and the discount as
// the difference, true computes the discount first; each rounds half up to the grosz. Throws
// CommandRefused: 1984 for a zero discount, 2601 for a percent above 99,99, 2801 when rw
// does not match the percent's amount.
int64_t discountAmount(int64_t value, const Discount& discount, bool discountFirst);

// The value after the discount; throws CommandRefused 1985 when a discount leaves nothing
// and 1981 when a markup goes beyond the largest amount.
int64_t applyDiscount(int64_t value, const Discount& discount, int64_t amount);

// Shares of amount in proportion to the values, each rounded down with the remainders carried
// so that a grosz goes where they add up to a whole one; the shares sum to amount.
template <std::size_t Count>
std::array<int64_t, Count> spread(const std::array<int64_t, Count>& values, int64_t amount) {
    int64_t whole = 0;
    for (int64_t value : values) {
        whole += value;
    }
    std::array<int64_t, Count> shares{};
    auto share = shares.begin();
    __int128 carried = 0;
    for (int64_t value : values) {
        const __int128 part = static_cast<__int128>(value) * amount;
        *share = static_cast<int64_t>(part / whole);
        carried += part % whole;
        if (carried >= whole) {
            ++*share;
            carried -= whole;
        }
        ++share;
    }
    return shares;
}

// "DISCOUNT Promocja 15,00% -2.03" or "MARKUP +1.00": how the journal shows it.
std::string discountText(const Discount& discount, int64_t amount);

} // namespace virtual_printer

#endif
