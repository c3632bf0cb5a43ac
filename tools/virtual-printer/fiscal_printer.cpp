#include "fiscal_printer.h"

#include "poslib/sale_limits.h"
#include "printer_errors.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>

namespace virtual_printer {

namespace {

constexpr std::size_t longestName = 80;
constexpr std::size_t longestUnit = 4;
constexpr std::size_t longestNip = 20;
using namespace sale_limit;
constexpr int lastFooterLineId = 42;
constexpr int textOnlyFooterLine = 25;
constexpr std::size_t longestCashDigits = 12;

const char model[] = "Virtual Posnet";
const char version[] = "1.00";
const char uniqueNumber[] = "VPN00000001";

std::string localTime(const char* format) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, format, &local);
    return text;
}

// The keyword a footer line id prints before its text, for the ids a shop's host uses; the
// rest show their id.
std::string footerKeyword(int id) {
    static const std::map<int, std::string> keywords = {
        {13, "ORDER NO. "}, {textOnlyFooterLine, ""}, {30, "NUMBER "},
        {35, "CUSTOMER "},  {39, "FOR INVOICE "},
    };
    const auto keyword = keywords.find(id);
    return keyword == keywords.end() ? "#" + std::to_string(id) + " " : keyword->second;
}

// A packaging quantity must be whole: "6" and "6.00" are taken, "6.5" is refused.
int64_t wholeQuantity(const Quantity& quantity) {
    int64_t scale = 1;
    for (int place = 0; place < quantity.places; ++place) {
        scale *= 10;
    }
    if (quantity.units % scale != 0) {
        throw CommandRefused{command_error::notWholeQuantity};
    }
    if (quantity.units <= 0) {
        throw CommandRefused{command_error::badQuantity};
    }
    return quantity.units / scale;
}

constexpr int receiptKind = 16;
constexpr int blockModeReceiptKind = 17;

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

} // namespace

Reply FiscalPrinter::execute(const Command& command) {
    using Handler = Reply (FiscalPrinter::*)(const Command&);
    static const std::map<std::string, Handler> handlers = {
        {"trinit", &FiscalPrinter::beginReceipt},
        {"trnipset", &FiscalPrinter::setBuyer},
        {"trline", &FiscalPrinter::addLine},
        {"trpayment", &FiscalPrinter::addPayment},
        {"trend", &FiscalPrinter::endReceipt},
        {"prncancel", &FiscalPrinter::cancelReceipt},
        {"vatget", &FiscalPrinter::vatRates},
        {"dailyrep", &FiscalPrinter::dailyReport},
        {"sid", &FiscalPrinter::identity},
        {"sprn", &FiscalPrinter::mechanismStatus},
        {"sdev", &FiscalPrinter::deviceStatus},
        {"strns", &FiscalPrinter::transactionStatus},
        {"scnt", &FiscalPrinter::receiptCounters},
        {"stot", &FiscalPrinter::dayCounters},
        {"getrealid", &FiscalPrinter::realIdentity},
        {"scomm", &FiscalPrinter::commonStatus},
        {"trpack", &FiscalPrinter::addDeposit},
        {"trdiscntbill", &FiscalPrinter::discountReceipt},
        {"discounttypeset", &FiscalPrinter::setDiscountMethod},
        {"discounttypeget", &FiscalPrinter::discountMethod},
        {"trftrln", &FiscalPrinter::addFooterLine},
        {"trftrend", &FiscalPrinter::endFooter},
        {"cash", &FiscalPrinter::moveCash},
        {"scashstate", &FiscalPrinter::cashState},
        {"opendrwr", &FiscalPrinter::openDrawer},
        {"sdrwr", &FiscalPrinter::drawerStatus},
    };
    const auto handler = handlers.find(command.name);
    if (handler == handlers.end()) {
        throw FrameError{frame_error::unknownCommand, command.name, {}};
    }
    return (this->*handler->second)(command);
}

Reply FiscalPrinter::beginReceipt(const Command& command) {
    const bool blockMode = boolField(command, "bm", false);
    refuseWhileOpen();
    receiptInProgress = Receipt{};
    receiptInProgress->blockMode = blockMode;
    counters.lastKind = blockMode ? blockModeReceiptKind : receiptKind;
    return {};
}

Reply FiscalPrinter::setBuyer(const Command& command) {
    const std::string& nip = requiredText(command, "ni", longestNip);
    if (nip.empty()) {
        throw FrameError{frame_error::fieldConversion, command.name, "ni"};
    }
    openReceipt().buyer = nip;
    return {};
}

Reply FiscalPrinter::addLine(const Command& command) {
    SaleLine line{requiredText(command, "na", longestName),
                  optionalText(command, "jm", longestUnit).value_or(""),
                  quantityField(command, "il"),
                  amountField(command, "pr"),
                  integerField(command, "vt"),
                  amountField(command, "wa"),
                  0,
                  {}};
    const Discount discount = readDiscount(command, "rn");
    const std::optional<std::string> description = optionalText(command, "op", longestDescription);
    Receipt& receipt = openReceipt();
    checkLine(line);
    discountLine(line, discount, description);
    receipt.lines.push_back(std::move(line));
    return {};
}

// A name without a value prints "discount: name" (or "markup: name") under the line, unless a
// description takes its place; rd alone changes nothing.
void FiscalPrinter::discountLine(SaleLine& line, const Discount& discount,
                                 const std::optional<std::string>& description) const {
    line.discounted = line.value;
    if (discount.given()) {
        const int64_t amount = discountAmount(line.value, discount, discountFirstMode);
        line.discounted = applyDiscount(line.value, discount, amount);
        line.notes.push_back(discountText(discount, amount) + " | " +
                             formatAmount(line.discounted) + " " + rateLetter(line.rate));
    }
    if (description) {
        line.notes.push_back("DESCRIPTION " + *description);
    } else if (!discount.given() && !discount.name.empty()) {
        line.notes.push_back(std::string("DESCRIPTION ") +
                             (discount.markup ? "markup: " : "discount: ") + discount.name);
    }
}

void FiscalPrinter::checkLine(const SaleLine& line) const {
    if (line.rate >= vatRateCount || setup.vatRates[line.rate] == inactiveRate) {
        throw CommandRefused{command_error::badVatRate};
    }
    if (isEmptyName(line.name)) {
        throw CommandRefused{command_error::emptyName};
    }
    if (line.price <= 0) {
        throw CommandRefused{command_error::badPrice};
    }
    if (line.quantity.units <= 0) {
        throw CommandRefused{command_error::badQuantity};
    }
    if (line.value == 0) {
        throw CommandRefused{command_error::zeroLineValue};
    }
    if (static_cast<unsigned __int128>(line.value) !=
        priceTimesQuantity(line.price, line.quantity)) {
        throw CommandRefused{command_error::badLineValue};
    }
}

Reply FiscalPrinter::addPayment(const Command& command) {
    const Payment payment{integerField(command, "ty"), amountField(command, "wa"),
                          boolField(command, "re", false),
                          optionalText(command, "na", longestShortName).value_or("")};
    Receipt& receipt = openReceipt();
    checkPayment(receipt, payment);
    receipt.payments.push_back(payment);
    return {};
}

// A form is either paid in or given as change on one receipt, never both.
void FiscalPrinter::checkPayment(const Receipt& receipt, const Payment& payment) const {
    if (!isPaymentForm(payment.form)) {
        throw CommandRefused{command_error::badPaymentForm};
    }
    if (payment.amount == 0) {
        throw CommandRefused{command_error::zeroPayment};
    }
    for (const Payment& earlier : receipt.payments) {
        if (earlier.form == payment.form && earlier.change != payment.change) {
            throw CommandRefused{command_error::formUsedAsChange};
        }
    }
    const Sums sent = receipt.sums();
    const int64_t over = sent.paid - sent.change - sent.due();
    if (payment.change && payment.amount > over) {
        throw CommandRefused{command_error::changeTooLarge};
    }
    if (!payment.change && !receipt.lines.empty() && over >= 0) {
        throw CommandRefused{command_error::alreadyCovered};
    }
    if (!payment.change && sent.paid + payment.amount > largestAmount) {
        throw CommandRefused{command_error::paymentSumRange};
    }
}

Reply FiscalPrinter::addDeposit(const Command& command) {
    Deposit deposit{optionalText(command, "na", longestDepositNumber).value_or(""),
                    boolField(command, "ne", false), 0, amountField(command, "pr"),
                    optionalText(command, "de", longestDescription).value_or("")};
    if (!deposit.number.empty()) {
        digitsField(command, "na", longestDepositNumber);
    }
    const bool storno = boolField(command, "st", false);
    const Quantity quantity = quantityField(command, "il");
    const std::optional<int64_t> value = optionalAmount(command, "wa");
    Receipt& receipt = openReceipt();
    deposit.quantity = wholeQuantity(quantity);
    if (deposit.price == 0 ||
        static_cast<__int128>(deposit.price) * deposit.quantity > largestAmount) {
        throw CommandRefused{command_error::depositRange};
    }
    if (value && *value != deposit.price * deposit.quantity) {
        throw CommandRefused{command_error::depositCheck};
    }
    if (!storno) {
        receipt.deposits.push_back(std::move(deposit));
        return {};
    }
    // A storno takes back quantity from an earlier line of the same packaging and price.
    for (auto earlier = receipt.deposits.rbegin(); earlier != receipt.deposits.rend(); ++earlier) {
        if (earlier->number == deposit.number && earlier->returned == deposit.returned &&
            earlier->price == deposit.price && earlier->quantity >= deposit.quantity) {
            earlier->quantity -= deposit.quantity;
            if (earlier->quantity == 0) {
                receipt.deposits.erase(std::next(earlier).base());
            }
            return {};
        }
    }
    throw CommandRefused{command_error::depositNotFound};
}

Reply FiscalPrinter::discountReceipt(const Command& command) {
    const Discount discount = readDiscount(command, "na");
    if (!discount.given()) {
        throw CommandRefused{command_error::badDiscountType};
    }
    Receipt& receipt = openReceipt();
    if (!receipt.payments.empty()) {
        throw CommandRefused{command_error::discountNotAllowed};
    }
    const int64_t base = receipt.sums().fiscal;
    if (base == 0) {
        throw CommandRefused{command_error::baseNotPositive};
    }
    const int64_t amount = discountAmount(base, discount, discountFirstMode);
    const int64_t after = applyDiscount(base, discount, amount);
    const std::array<int64_t, vatRateCount> shares = spread(receipt.byRate(), amount);
    for (int rate = 0; rate < vatRateCount; ++rate) {
        receipt.discountByRate[rate] += discount.markup ? shares[rate] : -shares[rate];
    }
    receipt.receiptDiscounts.push_back("RECEIPT " + discountText(discount, amount) + " | " +
                                       formatAmount(after));
    return {};
}

Reply FiscalPrinter::setDiscountMethod(const Command& command) {
    const bool discountFirst = boolField(command, "dt", false);
    refuseWhileOpen();
    discountFirstMode = discountFirst;
    return {};
}

Reply FiscalPrinter::discountMethod(const Command&) {
    return {{"dt", discountFirstMode ? "1" : "0"}};
}

Reply FiscalPrinter::endReceipt(const Command& command) {
    const bool footerFollows = !boolField(command, "fe", true);
    const Receipt& receipt = openReceipt();
    const Sums receiptSums = receipt.sums();
    checkEnd(receipt, receiptSums, command);
    const std::array<int64_t, vatRateCount> receiptByRate = receipt.byRate();
    for (int rate = 0; rate < vatRateCount; ++rate) {
        if (day.byRate[rate] + receiptByRate[rate] > largestAmount) {
            throw CommandRefused{command_error::totalsOverflow};
        }
    }
    const std::string document = receipt.document(stamp());
    if (footerFollows) {
        footer = Footer{document, 0};
    } else {
        journal.append(document + "END RECEIPT\n\n");
    }
    for (int rate = 0; rate < vatRateCount; ++rate) {
        day.byRate[rate] += receiptByRate[rate];
    }
    ++day.receipts;
    ++counters.completed;
    settleCash(receipt, receiptSums);
    receiptInProgress.reset();
    return {};
}

// to, fp, re, op and om are each checked when sent. Payments less change given must come to
// the amount due; with no change sent, the printer gives what the payments exceed it by.
void FiscalPrinter::checkEnd(const Receipt& receipt, const Sums& sums,
                             const Command& command) const {
    const std::optional<int64_t> total = optionalAmount(command, "to");
    const std::optional<int64_t> paid = optionalAmount(command, "fp");
    const std::optional<int64_t> change = optionalAmount(command, "re");
    const std::optional<int64_t> taken = optionalAmount(command, "op");
    const std::optional<int64_t> returned = optionalAmount(command, "om");
    if (receipt.lines.empty()) {
        throw CommandRefused{command_error::noItems};
    }
    if (total == int64_t{0}) {
        throw CommandRefused{command_error::zeroTotal};
    }
    const std::pair<std::optional<int64_t>, std::pair<int64_t, int>> sent[] = {
        {total, {sums.fiscal, command_error::totalNotLineSum}},
        {taken, {sums.taken, command_error::takenNotDepositSum}},
        {returned, {sums.returned, command_error::returnedNotDepositSum}},
        {paid, {sums.paid, command_error::paidNotPaymentSum}},
        {change, {sums.change, command_error::changeNotChangeSum}},
    };
    for (const auto& [value, expected] : sent) {
        if (value && *value != expected.first) {
            throw CommandRefused{expected.second};
        }
    }
    const bool changeSent = sums.change != 0;
    if (sums.paid - sums.change < sums.due() ||
        (changeSent && sums.paid - sums.change != sums.due())) {
        throw CommandRefused{command_error::paymentsShort};
    }
}

// Cash paid in stays in the till; change given in cash, and deposits refunded beyond what
// the customer owes, leave it.
void FiscalPrinter::settleCash(const Receipt& receipt, const Sums& sums) {
    for (const Payment& payment : receipt.payments) {
        if (payment.form == cashForm) {
            payment.change ? till.take(payment.amount) : till.add(payment.amount);
        }
    }
    if (sums.change == 0) {
        till.take(sums.paid - sums.due());
    }
    till.take(std::max<int64_t>(sums.returned - sums.fiscal - sums.taken, 0));
}

// A receipt whose fiscal part closed cannot be cancelled: a cancel then ends its footer.
Reply FiscalPrinter::cancelReceipt(const Command&) {
    if (footer) {
        finishFooter();
    }
    if (receiptInProgress) {
        std::string document = "CANCELLED RECEIPT " + stamp() + "\n";
        for (const SaleLine& line : receiptInProgress->lines) {
            document += "LINE " + lineText(line) + "\n";
        }
        document += "END CANCELLED RECEIPT\n\n";
        journal.append(document);
        ++day.cancelled;
        ++counters.cancelled;
        receiptInProgress.reset();
    }
    return {};
}

Reply FiscalPrinter::vatRates(const Command&) {
    Reply reply;
    for (int rate = 0; rate < vatRateCount; ++rate) {
        reply.emplace_back(std::string("v") + static_cast<char>('a' + rate),
                           formatRate(setup.vatRates[rate]));
    }
    return reply;
}

Reply FiscalPrinter::dailyReport(const Command& command) {
    // A report for another day than the clock's is refused as a field the printer cannot take.
    if (dateField(command, "da") != date()) {
        throw FrameError{frame_error::fieldConversion, command.name, "da"};
    }
    refuseWhileOpen();
    if (day.receipts == 0 && day.cancelled == 0) {
        throw CommandRefused{command_error::zeroReport};
    }
    std::string document = "DAILY REPORT " + stamp() + "\n";
    document += "RECEIPTS " + std::to_string(day.receipts) + "\n";
    document += "CANCELLED " + std::to_string(day.cancelled) + "\n";
    int64_t total = 0;
    for (int rate = 0; rate < vatRateCount; ++rate) {
        if (day.byRate[rate] != 0) {
            document += std::string("TOTAL ") + rateLetter(rate) + " " +
                        formatRate(setup.vatRates[rate]) + " " + formatAmount(day.byRate[rate]) +
                        "\n";
        }
        total += day.byRate[rate];
    }
    document += "TOTAL " + formatAmount(total) + "\nEND DAILY REPORT\n\n";
    journal.append(document);
    day = DayTotals{};
    return {};
}

Reply FiscalPrinter::identity(const Command&) {
    return {{"nm", "Virtual Posnet"}, {"vr", "1.00"}};
}

Reply FiscalPrinter::realIdentity(const Command&) {
    return {{"nm", model}, {"vr", version}, {"nu", uniqueNumber}};
}

Reply FiscalPrinter::commonStatus(const Command&) {
    const bool zeroTotals =
        std::all_of(day.byRate.begin(), day.byRate.end(), [](int64_t total) { return total == 0; });
    return {{"fs", "1"},
            {"tz", zeroTotals ? "1" : "0"},
            {"ts", std::to_string(receiptInProgress ? counters.lastKind : 0)},
            {"hr", "1"},
            {"nu", uniqueNumber},
            {"td", "0"}};
}

Reply FiscalPrinter::addFooterLine(const Command& command) {
    const int id = integerField(command, "id");
    const std::optional<std::string> text = optionalText(command, "na", longestFooterText);
    boolField(command, "sw", false);
    boolField(command, "sh", false);
    if (!footer) {
        throw CommandRefused{receiptInProgress ? command_error::footerNotStarted
                                               : command_error::nothingStarted};
    }
    if (id > lastFooterLineId) {
        throw CommandRefused{command_error::badFooterLine};
    }
    if (id == textOnlyFooterLine && !text) {
        throw CommandRefused{command_error::emptyText};
    }
    if (static_cast<std::size_t>(footer->lines) == mostFooterLines) {
        throw CommandRefused{command_error::tooManyFooterLines};
    }
    footer->document += "FOOTER " + footerKeyword(id) + text.value_or("") + "\n";
    ++footer->lines;
    return {};
}

Reply FiscalPrinter::endFooter(const Command&) {
    if (!footer) {
        throw CommandRefused{receiptInProgress ? command_error::footerNotStarted
                                               : command_error::nothingStarted};
    }
    finishFooter();
    return {};
}

void FiscalPrinter::finishFooter() {
    journal.append(footer->document + "END RECEIPT\n\n");
    footer.reset();
}

// A cash out of more than the till holds is printed as asked and leaves the till at 0.
Reply FiscalPrinter::moveCash(const Command& command) {
    const int64_t amount = digitsField(command, "kw", longestCashDigits);
    requiredText(command, "wp", 1);
    const bool in = boolField(command, "wp", true);
    if (amount > Till::largestCash) {
        throw FrameError{frame_error::fieldConversion, command.name, "kw"};
    }
    refuseWhileOpen();
    const std::string kind = in ? "CASH IN" : "CASH OUT";
    journal.append(kind + " " + stamp() + "\nAMOUNT " + formatAmount(amount) + "\nEND " + kind +
                   "\n\n");
    in ? till.add(amount) : till.take(amount);
    return {};
}

Reply FiscalPrinter::cashState(const Command&) {
    return {{"cs", std::to_string(till.amount())}};
}

Reply FiscalPrinter::openDrawer(const Command&) {
    journal.append("DRAWER OPENED " + stamp() + "\n\n");
    return {};
}

// The simulated drawer has no sensors: its state and key are unknown.
Reply FiscalPrinter::drawerStatus(const Command&) {
    return {{"ds", "2"}, {"ks", "2"}};
}

Reply FiscalPrinter::mechanismStatus(const Command&) {
    return {{"pr", std::to_string(setup.mechanismStatus)}};
}

Reply FiscalPrinter::deviceStatus(const Command&) {
    return {{"ds", std::to_string(setup.deviceStatus)}};
}

Reply FiscalPrinter::transactionStatus(const Command&) {
    return {{"to", receiptInProgress ? "1" : "0"},
            {"ts", std::to_string(counters.lastKind)},
            {"fe", footer ? "1" : "0"}};
}

Reply FiscalPrinter::receiptCounters(const Command&) {
    return {{"bn", std::to_string(counters.completed)},
            {"bc", std::to_string(counters.cancelled)},
            {"bt", std::to_string(counters.completed + counters.cancelled)}};
}

Reply FiscalPrinter::dayCounters(const Command&) {
    return {{"pn", std::to_string(day.receipts)}, {"cn", std::to_string(day.cancelled)}};
}

// While a footer is open no other sale command may run.
Receipt& FiscalPrinter::openReceipt() {
    if (footer) {
        throw CommandRefused{command_error::badState};
    }
    if (!receiptInProgress) {
        throw CommandRefused{command_error::noTransaction};
    }
    return *receiptInProgress;
}

void FiscalPrinter::refuseWhileOpen() const {
    if (receiptInProgress || footer) {
        throw CommandRefused{command_error::inTransaction};
    }
}

std::string FiscalPrinter::date() const {
    return setup.date.value_or(localTime("%Y-%m-%d"));
}

std::string FiscalPrinter::stamp() const {
    return date() + " " + localTime("%H:%M:%S");
}

} // namespace virtual_printer
