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

std::array<int, vatRateCount> vatRates(const std::string& text) {
    const std::vector<std::string> parts = split(text, ',');
    if (parts.size() != vatRateCount) {
        refuse("--vat: expected seven rates va..vg separated by commas");
    }
    std::array<int, vatRateCount> rates{};
    for (int rate = 0; rate < vatRateCount; ++rate) {
        rates[rate] = vatRate(parts[rate]);
    }
    return rates;
}

// "CMD:N" and, for a refusal, ":NUMBER" after it, split at the colons.
std::vector<std::string> cueParts(const std::string& text, const std::string& option,
                                  const std::string& shape) {
    const std::vector<std::string> parts = split(text, ':');
    if (parts.size() != split(shape, ':').size() || parts[0].empty()) {
        refuse(option + ": expected " + shape + ", got \"" + text + "\"");
    }
    return parts;
}

Cue cueOf(const std::vector<std::string>& parts, const std::string& option) {
    return {parts[0], wholeNumber(parts[1], option, 1, 1000000)};
}

Cue cue(const std::string& text, const std::string& option) {
    return cueOf(cueParts(text, option, "COMMAND:N"), option);
}

Refusal refusal(const std::string& text) {
    const std::vector<std::string> parts = cueParts(text, "--refuse", "COMMAND:N:NUMBER");
    return {cueOf(parts, "--refuse"), wholeNumber(parts[2], "--refuse", 1, 9999)};
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
        {"--drop-answer",
         [&](const std::string& v) {
             options.faults.droppedAnswers.push_back(cue(v, "--drop-answer"));
         }},
        {"--close-after",
         [&](const std::string& v) {
             options.faults.closesAfter.push_back(cue(v, "--close-after"));
         }},
        {"--close-before",
         [&](const std::string& v) {
             options.faults.closesBefore.push_back(cue(v, "--close-before"));
         }},
        {"--damage-answer",
         [&](const std::string& v) {
             options.faults.damagedAnswers.push_back(cue(v, "--damage-answer"));
         }},
        {"--switch-off-after",
         [&](const std::string& v) {
             options.faults.switchesOff.push_back(cue(v, "--switch-off-after"));
         }},
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
        {"--baud",
         [&](const std::string& v) { options.speed.baud = wholeNumber(v, "--baud", 1, 1000000); }},
        {"--print-speed",
         [&](const std::string& v) {
             options.speed.linesPerSecond = wholeNumber(v, "--print-speed", 1, 10000);
         }},
        {"--queue-limit",
         [&](const std::string& v) {
             options.queueLimit = wholeNumber(v, "--queue-limit", 1, 10000);
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
        if (arguments[i] == "--immediate-names") {
            options.immediateNames = true;
            continue;
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
    const std::pair<const char*, const std::vector<Cue>*> closings[] = {
        {"--close-after", &options.faults.closesAfter},
        {"--close-before", &options.faults.closesBefore},
        {"--switch-off-after", &options.faults.switchesOff}};
    for (const auto& [option, cues] : closings) {
        if (!cues->empty() && !options.tcpPort) {
            refuse(std::string(option) +
                   " needs --tcp: the printer cannot close a pseudo-terminal");
        }
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

Answers:
  --immediate-names       answer !sprn, !sdev and !sdrwr under the names !sprn, !sdev and
                          !sdrwr (default: without "!"); printers differ in this

Faults on cue (CMD without "!"; N counts that command's frames from 1):
  --refuse CMD:N:NUMBER   answer the N-th CMD with ?NUMBER instead of executing it
  --drop-answer CMD:N     execute the N-th CMD but never send its answer; rpt still has it
  --close-after CMD:N     execute the N-th CMD, then close the line instead of answering;
                          rpt still has the answer (--tcp only; the next connection is
                          accepted and finds the printer as it was left)
  --close-before CMD:N    close the line instead of executing the N-th CMD (--tcp only)
  --damage-answer CMD:N   execute the N-th CMD and send its answer with one checksum digit
                          changed; rpt has the answer as it was
  --switch-off-after CMD:N
                          as --close-after (--tcp only), then hang up every connection
                          at once until SIGUSR1 switches the printer on, as it was left
                          these six may each be given more than once
  --mechanism-status N    answer sprn with pr N (0 no error, 1 cover open, 5 out of paper)
  --device-status N       answer sdev with ds N (0 ready, 1 in menu, 2 waiting for a key,
                          3 waiting after an error)
  --silent-after N        answer the first N frames, then none (the line looks dead)
  --chatter-after N       answer the first N frames, then send bytes without end that hold
                          no frame (a device that talks but never answers)
  --delay MS              send every answer MS milliseconds late

Timing of a real line (default: bytes pass at once, printing takes no time):
  --baud N                every byte takes 10/N s down the line and 10/N s back, each
                          direction on its own (a full-duplex serial line at N baud, 8N1);
                          a frame is taken when its last byte has come in
  --print-speed LINES_PER_S
                          the mechanism prints that many sale lines a second (a thermal
                          printer prints about 20 to 40): a trline is answered no sooner than
                          it is printed, and the commands after it wait for it
  --queue-limit N         the printer holds N commands that are not yet carried out (with
                          --delay: not yet answered); one more is answered with frame error
                          14 (input queue full) and not carried out; "!" commands pass

Commands: trinit, trnipset, trline, trpayment, trdiscntbill, trpack, trend, trftrln,
trftrend, prncancel, discounttypeset, discounttypeget, cash, scashstate, opendrwr, vatget,
dailyrep, sid, getrealid, scomm, sprn, sdev, sdrwr (also as !sprn, !sdev, !sdrwr), strns,
scnt, stot, rpt. Every answer, ERR frames too, echoes the command's token (@nnnn) right
after the command name or ERR.
  trline rd/rp/rw/rn, trdiscntbill rd/rp/rw/na
                          a discount (rd1, the default) or markup (rd0) by rp hundredths of
                          a percent or by rw; with both, rw must be what rp comes to;
                          discounttypeset dt0 (the default) rounds the value after a percent
                          half up, dt1 the discount itself (13.50 less 15%: 11.48 / 11.47);
                          a receipt's discount is spread over its VAT rates grosz by grosz
  trpayment re1           the line is change given in form ty; when no change is sent the
                          printer gives the payments' excess over the amount due in cash
  trpack                  a deposit taken (ne0) or returned (ne1): outside the VAT totals;
                          amount due = the lines + deposits taken - deposits returned
  trend                   to, fp, re (change), op (deposits taken), om (returned) are checked
                          when sent; fe0 leaves the receipt open for trftrln lines (at most
                          60, 40 characters) until trftrend (or prncancel) ends it
  cash kw wp              cash in (wp1) or out (wp0) of the till, kw up to 499999999999;
                          scashstate answers cs, the till's cash in hundredths: cash in and
                          cash payments less cash out, change and refunds, never below 0
  opendrwr, sdrwr         the drawer opening is journalled; sdrwr answers ds2 ks2 (no sensor)
  getrealid, scomm        nm vr nu; fs1 tz ts hr1 nu td0
  rpt (token @nnnn)       sends again, byte for byte, the answer to the command that carried
                          that token; the last 32 such answers are kept (at most 1 KiB in
                          all); answers to rpt itself are not kept
  strns                   to 1 while a receipt is open, else 0; ts 16 receipt, 17 receipt in
                          block mode (bm1), of the open or last receipt, 0 before the first;
                          fe 1 while a receipt's footer lines are still open
  scnt                    bn receipts completed, bc receipts cancelled, bt the last one's
                          number (bn + bc), all since the printer started
  stot                    pn receipts completed, cn receipts cancelled since the last report
The printer's state (open receipt, counters, kept answers) outlives a closed connection.

Refusals (command errors, ?NUMBER):
  2038  trinit, dailyrep, cash or discounttypeset while a receipt (or its footer) is open
  2005  trnipset, trline, trpayment, trdiscntbill, trpack or trend with no receipt open
  2060  a sale command while a receipt's footer is open
  2000  trline: VAT rate outside 0..6 or inactive
  2104  trline: empty name (spaces and punctuation alone count as empty)
  2006  trline: price 0
  2007  trline: quantity 0 or below
  2009  trline: value 0
  2008  trline: value other than price times quantity, rounded half up to the grosz
        (pr 299, il 1.0050: 300.495 -> 300; pr 1, il 2.5: 2.5 -> 3)
  2705  trpayment: payment form other than 0, 2, 3, 4, 5, 6, 7, 8
  1992  trend: no lines
  2041  trend: to 0
  2805  trend: to other than the sum of the line values
  2808  trend: fp other than the sum of the trpayment amounts (every receipt is paid by
        trpayment)
  2054  trend: payments less change below the amount due, or other than it when change
        was sent
  2806 / 2807 / 2809  trend: op / om / re other than the deposits taken / returned / change
  1984 / 2601 / 2801  discount of 0 / percent above 9999 / rw other than rp's amount
  1985 / 1981  a discount that leaves nothing / a markup past 9999999999
  1983 / 1991 / 2600  trdiscntbill: no lines / after a payment / neither rp nor rw
  1962 / 1953  trpayment: amount 0 / the amount due is already paid
  2094 / 1961  trpayment: a form both paid and given as change / change above the excess
  2001 / 2007 / 1958 / 2803 / 2853  trpack: fractional quantity / quantity 0 or below /
        price 0 or value past 9999999999 / wa other than pr times il / storno of no such line
  2064 / 2066  trftrln or trftrend: nothing open / receipt open without trend fe0
  2702 / 2703 / 2056  trftrln: id above 42 / a 61st line / id 25 without text
  2010  trend: a VAT rate's total of the day would pass 99999999.99
  382   dailyrep with no receipt completed or cancelled since the last one (a zero report)
Frame errors (ERR ?N): 1 unknown command, 2 missing field, 3 field that does not convert
(an amount with a sign or separator, a dailyrep date other than the clock's), 4 bad token,
5 bad checksum, 6 broken frame or a field without a value (such as an empty jm), 10 field
too long, 11 frame too long, 12 "!" before a command other than sprn, sdev and sdrwr,
13 rpt of a token no longer kept, 15 missing checksum.
prncancel with no receipt open succeeds and does nothing.

Journal documents:
  RECEIPT date time / BUYER NIP n / LINE name | quantity unit x price | value rate-letter /
  DISCOUNT|MARKUP [name] [percent%] -|+amount | value rate-letter / DESCRIPTION text /
  RECEIPT DISCOUNT|MARKUP ... | total / DEPOSIT TAKEN|RETURNED [number] [description] |
  quantity x price | value / PAYMENT form [name] amount / CHANGE form amount /
  TOTAL amount / DEPOSITS TAKEN amount / DEPOSITS RETURNED amount / TO PAY amount /
  FOOTER [keyword] text / END RECEIPT
  CASH IN|CASH OUT date time / AMOUNT amount / END CASH IN|CASH OUT
  DRAWER OPENED date time
  CANCELLED RECEIPT date time / LINE ... / END CANCELLED RECEIPT
  DAILY REPORT date time / RECEIPTS n / CANCELLED n / TOTAL letter rate amount /
  TOTAL amount / END DAILY REPORT
)";
}

} // namespace virtual_printer
