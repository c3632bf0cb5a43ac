// What a printer takes on a receipt beyond the basic sale, from the maker's published
// protocol: the lengths of texts and the counts it refuses past. The program checks a sale
// against them before anything is sent; the virtual printer refuses past them.
#ifndef POSLIB_SALE_LIMITS_H
#define POSLIB_SALE_LIMITS_H

#include <cstddef>
#include <cstdint>

namespace sale_limit {
// A line's description ("op") and a deposit's ("de").
constexpr std::size_t longestDescription = 50;
// The short names: a discount's ("rn") and a payment form's.
constexpr std::size_t longestShortName = 25;
constexpr std::size_t longestDepositNumber = 11;
// Footer lines as wide as the 57 mm paper's 40 columns: the narrower printer is the one a
// host has to fit.
constexpr std::size_t longestFooterText = 40;
constexpr std::size_t mostFooterLines = 60;
// A percent discount in hundredths: 99.99 %.
constexpr int64_t largestPercent = 9999;
} // namespace sale_limit

#endif
