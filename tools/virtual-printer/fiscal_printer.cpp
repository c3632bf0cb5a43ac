#include "fiscal_printer.h"

#include "printer_errors.h"

#include <cctype>
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

constexpr int kReceiptKind = 16;
constexpr int kBlockModeReceiptKind = 17;

// Letters of Windows-1250 above ASCII: Š Ś Ť Ž Ź š ś ť ž ź, Ł Ą Ş Ż ł ą ş Ľ ľ ż, and every
// byte from 0xC0 up but × and ÷.
bool isWindows1250Letter(unsigned char byte) {
    static const std::string letters = "\x8A\x8C\x8D\x8E\x8F\x9A\x9C\x9D\x9E\x9F"
                                       "\xA3\xA5\xAA\xAF\xB3\xB9\xBA\xBC\xBE\xBF";
    return (byte >= 0xC0 && byte != 0xD7 && byte != 0xF7) ||
           letters.find(static_cast<char>(byte)) != std::string::npos;
}

// Spaces and punctuation alone print as a line nobody can read, so they count as empty.
bool isEmptyName(const std::string& name) {
    for (char byte : name) {
        if (std::isalnum(static_cast<unsigned char>(byte)) ||
            isWindows1250Letter(static_cast<unsigned char>(byte))) {
            return false;
        }
    }
    return true;
}

// Price times quantity in hundredths, rounded half up to the grosz; 128 bits, as a ten-digit
// price times a sixteen-digit quantity does not fit in 64.
unsigned __int128 priceTimesQuantity(int64_t price, const Quantity& quantity) {
    unsigned __int128 scale = 1;
    for (int place = 0; place < quantity.places; ++place) {
        scale *= 10;
    }
    const unsigned __int128 product =
        static_cast<unsigned __int128>(price) * static_cast<uint64_t>(quantity.units);
    return (product + scale / 2) / scale;
}

template <typename Item> int64_t sumOf(const std::vector<Item>& items, int64_t Item::*amount) {
    return std::accumulate(items.begin(), items.end(), int64_t{0},
                           [&](int64_t sum, const Item& item) { return sum + item.*amount; });
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
        {"trinit", &FiscalPrinter::beginReceipt},  {"trnipset", &FiscalPrinter::setBuyer},
        {"trline", &FiscalPrinter::addLine},       {"trpayment", &FiscalPrinter::addPayment},
        {"trend", &FiscalPrinter::endReceipt},     {"prncancel", &FiscalPrinter::cancelReceipt},
        {"vatget", &FiscalPrinter::vatRates},      {"dailyrep", &FiscalPrinter::dailyReport},
        {"sid", &FiscalPrinter::identity},         {"sprn", &FiscalPrinter::mechanismStatus},
        {"sdev", &FiscalPrinter::deviceStatus},    {"strns", &FiscalPrinter::transactionStatus},
        {"scnt", &FiscalPrinter::receiptCounters}, {"stot", &FiscalPrinter::dayCounters},
    };
    const auto handler = handlers.find(command.name);
    if (handler == handlers.end()) {
        throw FrameError{frame_error::kUnknownCommand, command.name, {}};
    }
    return (this->*handler->second)(command);
}

Reply FiscalPrinter::beginReceipt(const Command& command) {
    const bool blockMode = boolField(command, "bm", false);
    refuseWhileOpen();
    receipt_ = Receipt{blockMode, {}, {}, {}};
    counters_.lastKind = blockMode ? kBlockModeReceiptKind : kReceiptKind;
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
    checkLine(line);
    receipt.lines.push_back(std::move(line));
    return {};
}

void FiscalPrinter::checkLine(const SaleLine& line) const {
    if (line.rate >= kVatRates || setup_.vatRates[line.rate] == kInactiveRate) {
        throw CommandRefused{command_error::kBadVatRate};
    }
    if (isEmptyName(line.name)) {
        throw CommandRefused{command_error::kEmptyName};
    }
    if (line.price <= 0) {
        throw CommandRefused{command_error::kBadPrice};
    }
    if (line.quantity.units <= 0) {
        throw CommandRefused{command_error::kBadQuantity};
    }
    if (line.value == 0) {
        throw CommandRefused{command_error::kZeroLineValue};
    }
    if (static_cast<unsigned __int128>(line.value) !=
        priceTimesQuantity(line.price, line.quantity)) {
        throw CommandRefused{command_error::kBadLineValue};
    }
}

Reply FiscalPrinter::addPayment(const Command& command) {
    const Payment payment{integerField(command, "ty"), amountField(command, "wa")};
    Receipt& receipt = openReceipt();
    if (paymentForms().count(payment.form) == 0) {
        throw CommandRefused{command_error::kBadPaymentForm};
    }
    receipt.payments.push_back(payment);
    return {};
}

Reply FiscalPrinter::endReceipt(const Command& command) {
    const int64_t total = amountField(command, "to");
    const int64_t paid = amountField(command, "fp");
    const Receipt& receipt = openReceipt();
    checkEnd(receipt, total, paid);
    const std::array<int64_t, kVatRates> receiptByRate = byRate(receipt);
    for (int rate = 0; rate < kVatRates; ++rate) {
        if (day_.byRate[rate] + receiptByRate[rate] > kLargestAmount) {
            throw CommandRefused{command_error::kTotalsOverflow};
        }
    }
    std::string document = "RECEIPT " + stamp() + "\n";
    if (!receipt.buyer.empty()) {
        document += "BUYER NIP " + receipt.buyer + "\n";
    }
    for (const SaleLine& line : receipt.lines) {
        document += "LINE " + lineText(line) + "\n";
    }
    for (const Payment& payment : receipt.payments) {
        document += "PAYMENT " + paymentForms().at(payment.form) + " " +
                    formatAmount(payment.amount) + "\n";
    }
    document += "TOTAL " + formatAmount(total) + "\nEND RECEIPT\n\n";
    journal_.append(document);
    for (int rate = 0; rate < kVatRates; ++rate) {
        day_.byRate[rate] += receiptByRate[rate];
    }
    ++day_.receipts;
    ++counters_.completed;
    receipt_.reset();
    return {};
}

void FiscalPrinter::checkEnd(const Receipt& receipt, int64_t total, int64_t paid) const {
    if (receipt.lines.empty()) {
        throw CommandRefused{command_error::kNoItems};
    }
    if (total == 0) {
        throw CommandRefused{command_error::kZeroTotal};
    }
    if (total != sumOf(receipt.lines, &SaleLine::value)) {
        throw CommandRefused{command_error::kTotalNotLineSum};
    }
    if (paid != sumOf(receipt.payments, &Payment::amount)) {
        throw CommandRefused{command_error::kPaidNotPaymentSum};
    }
    if (paid < total) {
        throw CommandRefused{command_error::kPaymentsShort};
    }
}

std::array<int64_t, kVatRates> FiscalPrinter::byRate(const Receipt& receipt) const {
    std::array<int64_t, kVatRates> totals{};
    for (const SaleLine& line : receipt.lines) {
        totals[line.rate] += line.value;
    }
    return totals;
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
        ++counters_.cancelled;
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
    refuseWhileOpen();
    if (day_.receipts == 0 && day_.cancelled == 0) {
        throw CommandRefused{command_error::kZeroReport};
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

Reply FiscalPrinter::transactionStatus(const Command&) {
    return {{"to", receipt_ ? "1" : "0"}, {"ts", std::to_string(counters_.lastKind)}};
}

Reply FiscalPrinter::receiptCounters(const Command&) {
    return {{"bn", std::to_string(counters_.completed)},
            {"bc", std::to_string(counters_.cancelled)},
            {"bt", std::to_string(counters_.completed + counters_.cancelled)}};
}

Reply FiscalPrinter::dayCounters(const Command&) {
    return {{"pn", std::to_string(day_.receipts)}, {"cn", std::to_string(day_.cancelled)}};
}

FiscalPrinter::Receipt& FiscalPrinter::openReceipt() {
    if (!receipt_) {
        throw CommandRefused{command_error::kNoTransaction};
    }
    return *receipt_;
}

void FiscalPrinter::refuseWhileOpen() const {
    if (receipt_) {
        throw CommandRefused{command_error::kInTransaction};
    }
}

std::string FiscalPrinter::date() const {
    return setup_.date.value_or(localTime("%Y-%m-%d"));
}

std::string FiscalPrinter::stamp() const {
    return date() + " " + localTime("%H:%M:%S");
}

std::string FiscalPrinter::lineText(const SaleLine& line) const {
    std::string text = line.name + " | " + line.quantity.text;
    if (!line.unit.empty()) {
        text += " " + line.unit;
    }
    return text + " x " + formatAmount(line.price) + " | " + formatAmount(line.value) + " " +
           rateLetter(line.rate);
}

} // namespace virtual_printer
