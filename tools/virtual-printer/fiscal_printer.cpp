#include "fiscal_printer.h"

#include "printer_errors.h"

#include <cstdio>
#include <ctime>
#include <map>
#include <numeric>

namespace virtual_printer {

namespace {

constexpr std::size_t kLongestName = 80;
constexpr std::size_t kLongestUnit = 4;
constexpr std::size_t kLongestNip = 20;

const std::map<int, std::string>& paymentForms() {
    static const std::map<int, std::string> forms = {
        {0, "cash"},   {2, "card"},  {3, "cheque"},  {4, "voucher"},
        {5, "credit"}, {6, "other"}, {7, "voucher"}, {8, "transfer"},
    };
    return forms;
}

std::string localTime(const char* format) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, format, &local);
    return text;
}

char rateLetter(int rate) {
    return static_cast<char>('A' + rate);
}

} // namespace

std::string formatAmount(int64_t hundredths) {
    char text[32];
    std::snprintf(text, sizeof text, "%lld.%02lld", static_cast<long long>(hundredths / 100),
                  static_cast<long long>(hundredths % 100));
    return text;
}

std::string formatRate(int hundredths) {
    char text[16];
    std::snprintf(text, sizeof text, "%d,%02d", hundredths / 100, hundredths % 100);
    return text;
}

Reply FiscalPrinter::execute(const Command& command) {
    using Handler = Reply (FiscalPrinter::*)(const Command&);
    static const std::map<std::string, Handler> handlers = {
        {"trinit", &FiscalPrinter::beginReceipt}, {"trnipset", &FiscalPrinter::setBuyer},
        {"trline", &FiscalPrinter::addLine},      {"trpayment", &FiscalPrinter::addPayment},
        {"trend", &FiscalPrinter::endReceipt},    {"prncancel", &FiscalPrinter::cancelReceipt},
        {"vatget", &FiscalPrinter::vatRates},     {"dailyrep", &FiscalPrinter::dailyReport},
        {"sid", &FiscalPrinter::identity},        {"sprn", &FiscalPrinter::mechanismStatus},
        {"sdev", &FiscalPrinter::deviceStatus},
    };
    const auto handler = handlers.find(command.name);
    if (handler == handlers.end()) {
        throw FrameError{frame_error::kUnknownCommand, command.name, {}};
    }
    return (this->*handler->second)(command);
}

Reply FiscalPrinter::beginReceipt(const Command& command) {
    boolField(command, "bm", false);
    if (receipt_) {
        throw CommandRefused{command_error::kTransactionState};
    }
    receipt_.emplace();
    return {};
}

Reply FiscalPrinter::setBuyer(const Command& command) {
    const std::string& nip = requiredText(command, "ni", kLongestNip);
    if (nip.empty()) {
        throw FrameError{frame_error::kFieldConversion, command.name, "ni"};
    }
    openReceipt().buyer = nip;
    return {};
}

Reply FiscalPrinter::addLine(const Command& command) {
    SaleLine line{requiredText(command, "na", kLongestName),
                  optionalText(command, "jm", kLongestUnit).value_or(""),
                  quantityField(command, "il"),
                  amountField(command, "pr"),
                  integerField(command, "vt"),
                  amountField(command, "wa")};
    Receipt& receipt = openReceipt();
    if (line.rate >= kVatRates || setup_.vatRates[line.rate] == kInactiveRate) {
        throw CommandRefused{command_error::kBadVatRate};
    }
    if (line.price <= 0) {
        throw CommandRefused{command_error::kBadPrice};
    }
    receipt.lines.push_back(std::move(line));
    return {};
}

Reply FiscalPrinter::addPayment(const Command& command) {
    const Payment payment{integerField(command, "ty"), amountField(command, "wa")};
    if (paymentForms().count(payment.form) == 0) {
        throw FrameError{frame_error::kFieldConversion, command.name, "ty"};
    }
    openReceipt().payments.push_back(payment);
    return {};
}

Reply FiscalPrinter::endReceipt(const Command& command) {
    const int64_t total = amountField(command, "to");
    const int64_t paid = amountField(command, "fp");
    const Receipt& receipt = openReceipt();
    if (receipt.lines.empty()) {
        throw CommandRefused{command_error::kNoItems};
    }
    const int64_t sum =
        std::accumulate(receipt.lines.begin(), receipt.lines.end(), int64_t{0},
                        [](int64_t sum, const SaleLine& line) { return sum + line.value; });
    if (total != sum || paid < total) {
        throw CommandRefused{command_error::kTotalOutOfRange};
    }
    std::string document = "RECEIPT " + stamp() + "\n";
    if (!receipt.buyer.empty()) {
        document += "BUYER NIP " + receipt.buyer + "\n";
    }
    for (const SaleLine& line : receipt.lines) {
        document += "LINE " + lineText(line) + "\n";
        day_.byRate[line.rate] += line.value;
    }
    for (const Payment& payment : receipt.payments) {
        document += "PAYMENT " + paymentForms().at(payment.form) + " " +
                    formatAmount(payment.amount) + "\n";
    }
    document += "TOTAL " + formatAmount(total) + "\nEND RECEIPT\n\n";
    journal_.append(document);
    ++day_.receipts;
    receipt_.reset();
    return {};
}

Reply FiscalPrinter::cancelReceipt(const Command&) {
    if (receipt_) {
        std::string document = "CANCELLED RECEIPT " + stamp() + "\n";
        for (const SaleLine& line : receipt_->lines) {
            document += "LINE " + lineText(line) + "\n";
        }
        document += "END CANCELLED RECEIPT\n\n";
        journal_.append(document);
        ++day_.cancelled;
        receipt_.reset();
    }
    return {};
}

Reply FiscalPrinter::vatRates(const Command&) {
    Reply reply;
    for (int rate = 0; rate < kVatRates; ++rate) {
        reply.emplace_back(std::string("v") + static_cast<char>('a' + rate),
                           formatRate(setup_.vatRates[rate]));
    }
    return reply;
}

Reply FiscalPrinter::dailyReport(const Command& command) {
    // A report for another day than the clock's is refused as a field the printer cannot take.
    if (dateField(command, "da") != date()) {
        throw FrameError{frame_error::kFieldConversion, command.name, "da"};
    }
    if (receipt_) {
        throw CommandRefused{command_error::kTransactionState};
    }
    std::string document = "DAILY REPORT " + stamp() + "\n";
    document += "RECEIPTS " + std::to_string(day_.receipts) + "\n";
    document += "CANCELLED " + std::to_string(day_.cancelled) + "\n";
    int64_t total = 0;
    for (int rate = 0; rate < kVatRates; ++rate) {
        if (day_.byRate[rate] != 0) {
            document += std::string("TOTAL ") + rateLetter(rate) + " " +
                        formatRate(setup_.vatRates[rate]) + " " + formatAmount(day_.byRate[rate]) +
                        "\n";
        }
        total += day_.byRate[rate];
    }
    document += "TOTAL " + formatAmount(total) + "\nEND DAILY REPORT\n\n";
    journal_.append(document);
    day_ = DayTotals{};
    return {};
}

Reply FiscalPrinter::identity(const Command&) {
    return {{"nm", "Virtual Posnet"}, {"vr", "1.00"}};
}

Reply FiscalPrinter::mechanismStatus(const Command&) {
    return {{"pr", std::to_string(setup_.mechanismStatus)}};
}

Reply FiscalPrinter::deviceStatus(const Command&) {
    return {{"ds", std::to_string(setup_.deviceStatus)}};
}

FiscalPrinter::Receipt& FiscalPrinter::openReceipt() {
    if (!receipt_) {
        throw CommandRefused{command_error::kTransactionState};
    }
    return *receipt_;
}

std::string FiscalPrinter::date() const {
    return setup_.date.value_or(localTime("%Y-%m-%d"));
}

std::string FiscalPrinter::stamp() const {
    return date() + " " + localTime("%H:%M:%S");
}

std::string FiscalPrinter::lineText(const SaleLine& line) const {
    std::string text = line.name + " | " + line.quantity;
    if (!line.unit.empty()) {
        text += " " + line.unit;
    }
    return text + " x " + formatAmount(line.price) + " | " + formatAmount(line.value) + " " +
           rateLetter(line.rate);
}

} // namespace virtual_printer
