#include "logging/log_text.h"
#include "posnet/code_page_converter.h"
#include "posnet/printer.h"
#include <boost/log/trivial.hpp>

namespace {

// 15 digits hold the printer's largest cash state, 4 999 999 999,99.
const std::size_t mostDigits = 15;

// Printers write the cash state in hundredths without a separator, as every amount they take,
// or with a decimal point or comma and one or two decimals; spaces may group the thousands.
std::optional<int64_t> amountInHundredths(const std::string& text) {
    std::string digits;
    std::optional<std::size_t> decimals;
    for (const char c : text) {
        if (c >= '0' && c <= '9') {
            digits += c;
            decimals = decimals ? std::optional<std::size_t>(*decimals + 1) : std::nullopt;
        } else if ((c == '.' || c == ',') && !decimals) {
            decimals = 0;
        } else if (c != ' ' && c != '\xA0') {
            return std::nullopt;
        }
    }
    const std::size_t places = decimals.value_or(2);
    if (digits.empty() || places > 2 || digits.size() > mostDigits) {
        return std::nullopt;
    }
    return std::stoll(digits + std::string(2 - places, '0'));
}

std::string answerValue(const PosnetResponse& values, const char* name) {
    const auto value = values.find(name);
    return value == values.end() ? "" : CodePageConverter::instance().toUtf8(value->second);
}

} // namespace

void Printer::moveCash(const CashMovement& movement) {
    BOOST_LOG_TRIVIAL(info) << "Cash " << (movement.in ? "in" : "out") << ": " << movement.amount
                            << " hundredths";
    recovery.end(recovery.start(DocumentKind::CashSlip), "cash",
                 "kw," + std::to_string(movement.amount) + "\nwp," + (movement.in ? "1" : "0"));
}

int64_t Printer::cashState() {
    const PosnetResponse values = runTransactionWithResponse("scashstate", "");
    const auto state = values.find("cs");
    const std::string received = state == values.end() ? "" : state->second;
    const std::optional<int64_t> amount = amountInHundredths(received);
    if (!amount) {
        BOOST_LOG_TRIVIAL(error) << "Unreadable cash state from the printer: "
                                 << escapeForLog(received);
        throw UnreadableAnswer("cs", CodePageConverter::instance().toUtf8(received));
    }
    return *amount;
}

void Printer::openDrawer() {
    BOOST_LOG_TRIVIAL(info) << "Opening the drawer";
    runTransaction("opendrwr", "");
}

// The factory's name and version, as a programmed "sid" may name another model; a printer
// that does not know "getrealid" answers "sid", and "scomm" its unique number.
PrinterInfo Printer::info() {
    PosnetResponse identity;
    try {
        identity = runTransactionWithResponse("getrealid", "");
    } catch (const PosnetError& refusal) {
        if (refusal.code == POSNET_STATUS_DISCONNECTED) {
            throw;
        }
        identity = runTransactionWithResponse("sid", "");
    }
    const PosnetResponse status = runTransactionWithResponse("scomm", "");
    const std::string fiscal = answerValue(status, "fs");
    const std::string unique = answerValue(identity, "nu");
    return {answerValue(identity, "nm"), answerValue(identity, "vr"),
            unique.empty() ? answerValue(status, "nu") : unique,
            fiscal == "1" || fiscal == "t" || fiscal == "T" || fiscal == "Y" || fiscal == "y"};
}
