#include "receipt.h"

#include <cstdio>
#include <cstdlib>
#include <map>

namespace virtual_printer {

namespace {

constexpr std::size_t printedDescription = 40;

const std::map<int, std::string>& paymentForms() {
    static const std::map<int, std::string> forms = {
        {0, "cash"},   {2, "card"},  {3, "cheque"},  {4, "voucher"},
        {5, "credit"}, {6, "other"}, {7, "voucher"}, {8, "transfer"},
    };
    return forms;
}

} // namespace

bool isPaymentForm(int form) {
    return paymentForms().count(form) != 0;
}

char rateLetter(int rate) {
    return static_cast<char>('A' + rate);
}

std::string formatAmount(int64_t hundredths) {
    const long long magnitude = std::llabs(static_cast<long long>(hundredths));
    char text[32];
    std::snprintf(text, sizeof text, "%s%lld.%02lld", hundredths < 0 ? "-" : "", magnitude / 100,
                  magnitude % 100);
    return text;
}

std::string formatRate(int hundredths) {
    char text[16];
    std::snprintf(text, sizeof text, "%d,%02d", hundredths / 100, hundredths % 100);
    return text;
}

std::string lineText(const SaleLine& line) {
    std::string text = line.name + " | " + line.quantity.text;
    if (!line.unit.empty()) {
        text += " " + line.unit;
    }
    text += " x " + formatAmount(line.price) + " | " + formatAmount(line.value) + " " +
            rateLetter(line.rate);
    for (const std::string& note : line.notes) {
        text += "\n" + note;
    }
    return text;
}

Sums Receipt::sums() const {
    Sums sums;
    for (int64_t value : byRate()) {
        sums.fiscal += value;
    }
    for (const Deposit& deposit : deposits) {
        (deposit.returned ? sums.returned : sums.taken) += deposit.price * deposit.quantity;
    }
    for (const Payment& payment : payments) {
        (payment.change ? sums.change : sums.paid) += payment.amount;
    }
    return sums;
}

std::array<int64_t, vatRateCount> Receipt::byRate() const {
    std::array<int64_t, vatRateCount> totals{};
    for (const SaleLine& line : lines) {
        totals[line.rate] += line.discounted;
    }
    for (int rate = 0; rate < vatRateCount; ++rate) {
        totals[rate] += discountByRate[rate];
    }
    return totals;
}

std::string Receipt::document(const std::string& stamp) const {
    const Sums sums = this->sums();
    std::string document = "RECEIPT " + stamp + "\n";
    if (!buyer.empty()) {
        document += "BUYER NIP " + buyer + "\n";
    }
    for (const SaleLine& line : lines) {
        document += "LINE " + lineText(line) + "\n";
    }
    for (const std::string& discount : receiptDiscounts) {
        document += discount + "\n";
    }
    for (const Deposit& deposit : deposits) {
        std::string label = deposit.number;
        const std::string description = deposit.description.substr(0, printedDescription);
        label += (label.empty() || description.empty() ? "" : " ") + description;
        document += std::string("DEPOSIT ") + (deposit.returned ? "RETURNED" : "TAKEN") +
                    (label.empty() ? "" : " " + label) + " | " + std::to_string(deposit.quantity) +
                    " x " + formatAmount(deposit.price) + " | " +
                    formatAmount(deposit.price * deposit.quantity) + "\n";
    }
    for (const Payment& payment : payments) {
        document += (payment.change ? "CHANGE " : "PAYMENT ") + paymentForms().at(payment.form) +
                    (payment.name.empty() || payment.form == cashForm ? "" : " " + payment.name) +
                    " " + formatAmount(payment.amount) + "\n";
    }
    if (sums.change == 0 && sums.paid > sums.due()) {
        document += "CHANGE cash " + formatAmount(sums.paid - sums.due()) + "\n";
    }
    document += "TOTAL " + formatAmount(sums.fiscal) + "\n";
    if (!deposits.empty()) {
        document += "DEPOSITS TAKEN " + formatAmount(sums.taken) + "\nDEPOSITS RETURNED " +
                    formatAmount(sums.returned) + "\nTO PAY " +
                    formatAmount(sums.fiscal + sums.taken - sums.returned) + "\n";
    }
    return document;
}

} // namespace virtual_printer
