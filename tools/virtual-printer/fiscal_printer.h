// The simulated printer's fiscal side: the open receipt, the VAT table, the clock's date, the
// status it reports, and the journal of what it printed.
#ifndef VIRTUAL_PRINTER_FISCAL_PRINTER_H
#define VIRTUAL_PRINTER_FISCAL_PRINTER_H

#include "command.h"
#include "journal.h"

#include <array>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace virtual_printer {

constexpr int kVatRates = 7;         // va..vg
constexpr int kExemptRate = 10000;   // 100,00
constexpr int kInactiveRate = 10100; // 101,00

struct PrinterSetup {
    // Hundredths of a percent, va first.
    std::array<int, kVatRates> vatRates = {2300,        800,           500,          0,
                                           kExemptRate, kInactiveRate, kInactiveRate};
    int mechanismStatus = 0;         // sprn's pr
    int deviceStatus = 0;            // sdev's ds
    std::optional<std::string> date; // the clock's date when fixed, otherwise today's
};

// Values of a successful answer, in order: name and value.
using Reply = std::vector<std::pair<std::string, std::string>>;

class FiscalPrinter {
public:
    FiscalPrinter(PrinterSetup setup, Journal journal)
        : setup_(std::move(setup)), journal_(std::move(journal)) {}

    // Throws FrameError or CommandRefused where a printer refuses.
    Reply execute(const Command& command);

private:
    struct SaleLine {
        std::string name;
        std::string unit;
        std::string quantity;
        int64_t price;
        int rate;
        int64_t value;
    };
    struct Payment {
        int form;
        int64_t amount;
    };
    struct Receipt {
        std::string buyer;
        std::vector<SaleLine> lines;
        std::vector<Payment> payments;
    };
    struct DayTotals {
        int receipts = 0;
        int cancelled = 0;
        std::array<int64_t, kVatRates> byRate{};
    };

    Reply beginReceipt(const Command& command);
    Reply setBuyer(const Command& command);
    Reply addLine(const Command& command);
    Reply addPayment(const Command& command);
    Reply endReceipt(const Command& command);
    Reply cancelReceipt(const Command& command);
    Reply vatRates(const Command& command);
    Reply dailyReport(const Command& command);
    Reply identity(const Command& command);
    Reply mechanismStatus(const Command& command);
    Reply deviceStatus(const Command& command);

    Receipt& openReceipt();
    std::string date() const;
    std::string stamp() const;
    std::string lineText(const SaleLine& line) const;

    PrinterSetup setup_;
    Journal journal_;
    std::optional<Receipt> receipt_;
    DayTotals day_;
};

// "12.34" for 1234 hundredths.
std::string formatAmount(int64_t hundredths);
// "23,00" for a rate of 2300.
std::string formatRate(int hundredths);

} // namespace virtual_printer

#endif
