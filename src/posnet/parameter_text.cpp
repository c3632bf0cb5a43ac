#include "posnet/parameter_text.h"

#include <algorithm>
#include <numeric>

namespace {

constexpr int64_t oneUnit = 10000;
constexpr int64_t cashForm = 0;
// The printer's keywords of the lines after a receipt: order number, customer, and a line
// without a keyword.
constexpr int orderNumberLine = 13;
constexpr int customerLine = 35;
constexpr int textLine = 25;

std::string entry(const std::string& name, const std::string& value) {
    return name + "," + value;
}

// A markup is a discount with "rd,0"; a percent goes in hundredths of a percent ("rp,1500"
// is 15 %), an amount in hundredths.
std::map<std::string, std::string> discountEntries(const Discount& discount) {
    std::map<std::string, std::string> entries;
    if (discount.markup) {
        entries["rd"] = "0";
    }
    if (discount.percent) {
        entries["rp"] = std::to_string(*discount.percent);
    } else {
        entries["rw"] = std::to_string(discount.amount.value_or(0));
    }
    return entries;
}

int64_t paid(const Receipt& receipt) {
    return std::accumulate(
        receipt.payments.begin(), receipt.payments.end(), int64_t{0},
        [](int64_t sum, const Payment& payment) { return sum + payment.amount; });
}

int64_t deposits(const Receipt& receipt, bool returned) {
    int64_t sum = 0;
    for (const Deposit& deposit : receipt.deposits) {
        sum += deposit.returned == returned ? deposit.price * deposit.quantity : 0;
    }
    return sum;
}

int footerLineId(FooterLine::Kind kind) {
    switch (kind) {
    case FooterLine::Kind::OrderNumber:
        return orderNumberLine;
    case FooterLine::Kind::Customer:
        return customerLine;
    default:
        return textLine;
    }
}

} // namespace

std::string buildParameterString(const std::map<std::string, std::string>& entries) {
    std::string text;
    for (const auto& [name, value] : entries) {
        if (!text.empty()) {
            text += '\n';
        }
        text += entry(name, value);
    }
    return text;
}

std::string formatQuantity(int64_t tenThousandths) {
    const int64_t fraction = tenThousandths % oneUnit;
    std::string text =
        std::to_string(tenThousandths / oneUnit) + "." + std::to_string(fraction / 1000);
    if (fraction % 1000 == 0) {
        return text + "0";
    }
    const std::string lastDigits = std::to_string(fraction % 1000);
    return text + std::string(3 - lastDigits.size(), '0') + lastDigits;
}

std::string buildLineParameters(const ReceiptLine& line) {
    // A sale line without a quantity sells one unit.
    const int64_t quantity = line.quantity.value_or(oneUnit);
    // A printer may refuse a unit without a value, so a line without a unit names none.
    const std::string unit = line.unit.empty() ? "" : entry("jm", line.unit) + "\n";
    std::map<std::string, std::string> extra;
    if (line.discount) {
        extra = discountEntries(*line.discount);
        if (!line.discount->name.empty()) {
            extra["rn"] = line.discount->name;
        }
    }
    if (!line.description.empty()) {
        extra["op"] = line.description;
    }
    const std::string more = buildParameterString(extra);
    return entry("na", line.name) + "\n" + unit + entry("il", formatQuantity(quantity)) + "\n" +
           entry("pr", std::to_string(line.price)) + "\n" +
           entry("vt", std::to_string(line.vatRate)) + "\n" +
           entry("wa", std::to_string(line.value)) + (more.empty() ? "" : "\n" + more);
}

std::string buildReceiptDiscountParameters(const Discount& discount) {
    std::map<std::string, std::string> entries = discountEntries(discount);
    if (!discount.name.empty()) {
        entries["na"] = discount.name;
    }
    return buildParameterString(entries);
}

std::string buildDepositParameters(const Deposit& deposit) {
    std::map<std::string, std::string> entries = {{"na", deposit.number},
                                                  {"il", std::to_string(deposit.quantity)},
                                                  {"pr", std::to_string(deposit.price)}};
    if (deposit.returned) {
        entries["ne"] = "1";
    }
    if (!deposit.description.empty()) {
        entries["de"] = deposit.description;
    }
    return buildParameterString(entries);
}

std::string buildPaymentParameters(const Payment& payment, bool change) {
    std::map<std::string, std::string> entries = {{"ty", std::to_string(payment.form)},
                                                  {"wa", std::to_string(payment.amount)}};
    if (change) {
        entries["re"] = "1";
    }
    return buildParameterString(entries);
}

int64_t changeDue(const Receipt& receipt) {
    return std::max<int64_t>(paid(receipt) - receipt.total, 0);
}

bool changeSentAsLine(const Receipt& receipt) {
    return changeDue(receipt) > 0 &&
           std::none_of(receipt.payments.begin(), receipt.payments.end(),
                        [](const Payment& payment) { return payment.form == cashForm; });
}

// The fiscal total holds the goods alone: the deposits only change what the customer pays.
std::string buildEndParameters(const Receipt& receipt) {
    const int64_t taken = deposits(receipt, false);
    const int64_t returned = deposits(receipt, true);
    std::map<std::string, std::string> entries = {
        {"fp", std::to_string(paid(receipt))},
        {"to", std::to_string(receipt.total - taken + returned)}};
    if (changeSentAsLine(receipt)) {
        entries["re"] = std::to_string(changeDue(receipt));
    }
    if (taken > 0) {
        entries["op"] = std::to_string(taken);
    }
    if (returned > 0) {
        entries["om"] = std::to_string(returned);
    }
    if (!receipt.footer.empty()) {
        entries["fe"] = "0";
    }
    return buildParameterString(entries);
}

std::string buildFooterLineParameters(const FooterLine& line) {
    return buildParameterString(
        {{"id", std::to_string(footerLineId(line.kind))}, {"na", line.text}});
}
