// The till's cash as the printer counts it: cash in and cash payments add to it, cash out,
// change and refunds take from it.
#ifndef VIRTUAL_PRINTER_TILL_H
#define VIRTUAL_PRINTER_TILL_H

#include <cstdint>

namespace virtual_printer {

class Till {
public:
    static constexpr int64_t largestCash = 499999999999;

    // Past the largest amount the count starts again from what went over it.
    void add(int64_t hundredths) {
        held += hundredths;
        if (held > largestCash) {
            held -= largestCash;
        }
    }
    // More than the till holds leaves it at 0.
    void take(int64_t hundredths) { held = hundredths > held ? 0 : held - hundredths; }
    int64_t amount() const { return held; }

private:
    int64_t held = 0;
};

} // namespace virtual_printer

#endif
