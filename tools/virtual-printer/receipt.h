// The open receipt: its lines, discounts, deposits and payments, the sums it is ended with
// and the text it prints.
#ifndef VIRTUAL_PRINTER_RECEIPT_H
#define VIRTUAL_PRINTER_RECEIPT_H

#include "command.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace virtual_printer {

constexpr int vatRateCount = 7; // va..vg
constexpr int64_t largestAmount = 9999999999;
constexpr int cashForm = 0;

// The sums a receipt is ended with. What the customer pays, fiscal + taken - returned, is
// negative when more deposits come back than goods and deposits taken come to: then nothing
// is due and the rest is paid out.
struct Sums {
    int64_t fiscal = 0;
    int64_t taken = 0;
    int64_t returned = 0;
    int64_t paid = 0;
    int64_t change = 0; // change lines sent
    int64_t due() const { return std::max<int64_t>(fiscal + taken - returned, 0); }
};

struct SaleLine {
    std::string name;
    std::string unit;
    Quantity quantity;
    int64_t price;
    int rate;
    int64_t value;
    int64_t discounted;             // the value after its discount or markup
    std::vector<std::string> notes; // printed under the line
};
struct Payment {
    int form;
    int64_t amount;
    bool change;
    std::string name;
};
struct Deposit {
    std::string number;
    bool returned;
    int64_t quantity;
    int64_t price;
    std::string description;
};
struct Receipt {
    bool blockMode = false;
    std::string buyer;
    std::vector<SaleLine> lines;
    std::vector<Payment> payments;
    std::vector<Deposit> deposits;
    std::vector<std::string> receiptDiscounts;       // as printed after the lines
    std::array<int64_t, vatRateCount> discountByRate{}; // their share in each rate, signed

    Sums sums() const;
    // Goods only, after their discounts, va first.
    std::array<int64_t, vatRateCount> byRate() const;
    // Everything up to the footer lines and the end mark.
    std::string document(const std::string& stamp) const;
};

bool isPaymentForm(int form);
char rateLetter(int rate);
// "name | quantity unit x price | value rate-letter", then the lines printed under it.
std::string lineText(const SaleLine& line);
// "12.34" for 1234 hundredths, "-0.50" for -50.
std::string formatAmount(int64_t hundredths);
// "23,00" for a rate of 2300.
std::string formatRate(int hundredths);

} // namespace virtual_printer

#endif
