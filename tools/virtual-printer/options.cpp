#include "options.h"

#include <functional>
#include <map>
#include <stdexcept>

namespace virtual_printer {

namespace {

[[noreturn]] void refuse(const std::string& message) {
    throw std::invalid_argument(message);
}

int wholeNumber(const std::string& text, const std::string& option, int lowest, int highest) {
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos || std::stoi(text) < lowest ||
        std::stoi(text) > highest) {
        refuse(option + ": expected a whole number from " + std::to_string(lowest) + " to " +
               std::to_string(highest) + ", got \"" + text + "\"");
    }
    return std::stoi(text);
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find(separator, start)) != std::string::npos;
         start = end + 1) {
        parts.push_back(text.substr(start, end - start));
    }
    parts.push_back(text.substr(start));
    return parts;
}

// "23" or "5.5" percent as hundredths of a percent.
int vatRate(const std::string& text) {
    const std::vector<std::string> parts = split(text, '.');
    if (parts.size() > 2 || (parts.size() == 2 && (parts[1].empty() || parts[1].size() > 2))) {
        refuse("--vat: bad rate \"" + text + "\"");
    }
    const int whole = wholeNumber(parts[0], "--vat", 0, 101);
    const std::string fraction = parts.size() == 2 ? (parts[1] + "0").substr(0, 2) : "00";
    return whole * 100 + wholeNumber(fraction, "--vat", 0, 99);
}

std::array<int, kVatRates> vatRates(const std::string& text) {
    const std::vector<std::string> parts = split(text, ',');
    if (parts.size() != kVatRates) {
        refuse("--vat: expected seven rates va..vg separated by commas");
    }
    std::array<int, kVatRates> rates{};
    for (int rate = 0; rate < kVatRates; ++rate) {
        rates[rate] = vatRate(parts[rate]);
    }
    return rates;
}

Refusal refusal(const std::string& text) {
    const std::vector<std::string> parts = split(text, ':');
    if (parts.size() != 3 || parts[0].empty()) {
        refuse("--refuse: expected COMMAND:N:NUMBER, got \"" + text + "\"");
    }
    return {parts[0], wholeNumber(parts[1], "--refuse", 1, 1000000),
            wholeNumber(parts[2], "--refuse", 1, 9999)};
}

std::string date(const std::string& text) {
    const std::vector<std::string> parts = split(text, '-');
    if (parts.size() != 3 || parts[0].size() != 4 || parts[1].size() != 2 || parts[2].size() != 2) {
        refuse("--date: expected YYYY-MM-DD, got \"" + text + "\"");
    }
    wholeNumber(parts[0], "--date", 1400, 9999);
    wholeNumber(parts[1], "--date", 1, 12);
    wholeNumber(parts[2], "--date", 1, 31);
    return text;
}

} // namespace

Options parseOptions(const std::vector<std::string>& arguments) {
    Options options;
    using Setter = std::function<void(const std::string&)>;
    const std::map<std::string, Setter> valued = {
        {"--pty", [&](const std::string& v) { options.ptyPath = v; }},
        {"--tcp",
         [&](const std::string& v) { options.tcpPort = wholeNumber(v, "--tcp", 0, 65535); }},
        {"--journal", [&](const std::string& v) { options.journalPath = v; }},
        {"--vat", [&](const std::string& v) { options.setup.vatRates = vatRates(v); }},
        {"--date", [&](const std::string& v) { options.setup.date = date(v); }},
        {"--refuse", [&](const std::string& v) { options.faults.refusals.push_back(refusal(v)); }},
        {"--mechanism-status",
         [&](const std::string& v) {
             options.setup.mechanismStatus = wholeNumber(v, "--mechanism-status", 0, 99);
         }},
        {"--device-status",
         [&](const std::string& v) {
             options.setup.deviceStatus = wholeNumber(v, "--device-status", 0, 99);
         }},
        {"--silent-after",
         [&](const std::string& v) {
             options.faults.silentAfter = wholeNumber(v, "--silent-after", 0, 100000000);
         }},
        {"--chatter-after",
         [&](const std::string& v) {
             options.faults.chatterAfter = wholeNumber(v, "--chatter-after", 0, 100000000);
         }},
        {"--delay",
         [&](const std::string& v) {
             options.delay = std::chrono::milliseconds(wholeNumber(v, "--delay", 0, 600000));
         }},
    };
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == "--help" || arguments[i] == "-h") {
            options.help = true;
            return options;
        }
        const auto option = valued.find(arguments[i]);
        if (option == valued.end()) {
            refuse("unknown option \"" + arguments[i] + "\"");
        }
        if (i + 1 == arguments.size()) {
            refuse(arguments[i] + " needs a value");
        }
        option->second(arguments[++i]);
    }
    if (options.ptyPath.empty() == !options.tcpPort.has_value()) {
        refuse("give exactly one of --pty PATH and --tcp PORT");
    }
    return options;
}

std::string helpText() {
    return R"(Usage: virtual-printer (--pty PATH | --tcp PORT) [options]

Acts as a Posnet-protocol fiscal printer, for the fiscal printer proxy's tests and for anyone
without the hardware. It checks every frame's checksum and answers frame errors with an ERR
frame, keeps the open receipt, the VAT table and the clock's date, and refuses what a printer
refuses. Every finished document goes to the journal. It runs until SIGINT or SIGTERM.

Where it listens (exactly one):
  --pty PATH              create a pseudo-terminal and a symbolic link to it at PATH; the
                          printer library takes PATH as its port, the program does not (it
                          opens only serial devices), but Wine can map a COM port to it
  --tcp PORT              listen on 127.0.0.1:PORT, one connection at a time; 0 picks a free
                          port; the library's port is tcp://127.0.0.1:PORT

When ready it prints one line on standard output, so that scripts can wait for it:
  virtual-printer listening on PORT-TEXT
where PORT-TEXT is the text to give the printer library as its port.

Printer:
  --journal FILE          append printed documents to FILE, UTF-8
                          (default: virtual-printer-journal.txt in the current folder)
  --vat A,B,C,D,E,F,G     the rates va..vg in percent, such as 23,8,5,0,100,101,101
                          (the default); 100 marks an exempt rate, 101 an inactive one
  --date YYYY-MM-DD       the clock's date (default: today's local date); dailyrep must
                          name it

Faults on cue:
  --refuse CMD:N:NUMBER   answer the N-th CMD command (counted from 1) with ?NUMBER instead
                          of executing it; may be given more than once
  --mechanism-status N    answer sprn with pr N (0 no error, 1 cover open, 5 out of paper)
  --device-status N       answer sdev with ds N (0 ready, 1 in menu, 2 waiting for a key,
                          3 waiting after an error)
  --silent-after N        answer the first N frames, then none (the line looks dead)
  --chatter-after N       answer the first N frames, then send bytes without end that hold
                          no frame (a device that talks but never answers)
  --delay MS              send every answer MS milliseconds late

Commands: trinit, trnipset, trline, trpayment, trend, prncancel, vatget, dailyrep, sid,
!sprn, !sdev. Refusals: 2005 a receipt command outside a receipt or trinit inside one,
2000 an inactive or unknown VAT rate, 2006 a price of 0, 1992 trend without lines, 1950 a
trend "to" other than the sum of the line values or "fp" below it; ERR ?3 for a dailyrep
"da" other than the clock's date; ERR ?1, ?2, ?3, ?4, ?5, ?6, ?10, ?11, ?15 for frames that
are malformed.

Journal documents:
  RECEIPT date time / BUYER NIP n / LINE name | quantity unit x price | value rate-letter /
  PAYMENT form amount / TOTAL amount / END RECEIPT
  CANCELLED RECEIPT date time / LINE ... / END CANCELLED RECEIPT
  DAILY REPORT date time / RECEIPTS n / CANCELLED n / TOTAL letter rate amount /
  TOTAL amount / END DAILY REPORT
)";
}

} // namespace virtual_printer
