#include "logging/log_text.h"
#include "platform/local_time.h"
#include "posnet/code_page_converter.h"
#include "posnet/printer.h"
#include <algorithm>
#include <boost/date_time/gregorian/gregorian.hpp>
#include <boost/log/trivial.hpp>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
#include <utility>

namespace {

// 100 marks an exempt rate and 101 an inactive one.
const float highestRate = 101;

// The leading decimal number of a rate, not a number when the text starts with none. The
// printer writes a decimal comma ("5,50"), which the C library's reading would stop at and so
// cut a rate of 5.5 to 5. A number beyond a float's range reads as infinite.
float rateValue(std::string text) {
    std::replace(text.begin(), text.end(), ',', '.');
    char* end = nullptr;
    const float rate = std::strtof(text.c_str(), &end);
    return end == text.c_str() ? std::numeric_limits<float>::quiet_NaN() : rate;
}

// A rate the web application could not use (not a number, negative, beyond 101) is a printer
// answer the program does not understand, not a rate to pass on.
float usableRate(const char* name, const std::string& text) {
    const float rate = rateValue(text);
    if (std::isfinite(rate) && rate >= 0 && rate <= highestRate) {
        return rate;
    }
    BOOST_LOG_TRIVIAL(error) << "Unusable VAT rate " << name
                             << " from the printer: " << escapeForLog(text);
    throw UnusableVatRate(name, CodePageConverter::instance().toUtf8(text));
}

} // namespace

VatRates Printer::vatRates() {
    BOOST_LOG_TRIVIAL(info) << "Checking VAT rates";
    const PosnetResponse values = runTransactionWithResponse("vatget", "");
    VatRates rates;
    const std::pair<const char*, float*> fields[] = {
        {"va", &rates.va}, {"vb", &rates.vb}, {"vc", &rates.vc}, {"vd", &rates.vd},
        {"ve", &rates.ve}, {"vf", &rates.vf}, {"vg", &rates.vg},
    };
    for (const auto& [name, field] : fields) {
        const auto value = values.find(name);
        if (value != values.end()) {
            *field = usableRate(name, value->second);
        }
    }
    return rates;
}

void Printer::dailyReport() {
    const std::tm now = platform::localTimeNow();
    // The calendar type refuses a day, month or year that no calendar date has.
    const boost::gregorian::date today(now.tm_year + 1900, now.tm_mon + 1, now.tm_mday);
    BOOST_LOG_TRIVIAL(info) << "Printing daily report";
    recovery.end(recovery.start(DocumentKind::DailyReport), "dailyrep",
                 "da," + boost::gregorian::to_iso_extended_string(today));
}
