// The simulated printer's fiscal side: the open receipt, the VAT table, the clock's date, the
// status and counters it reports, and the journal of what it printed.
#ifndef VIRTUAL_PRINTER_FISCAL_PRINTER_H
#define VIRTUAL_PRINTER_FISCAL_PRINTER_H

#include "command.h"
#include "discount.h"
#include "journal.h"
#include "receipt.h"
#include "till.h"

#include <array>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace virtual_printer {

constexpr int exemptRate = 10000;   // 100,00
constexpr int inactiveRate = 10100; // 101,00

struct PrinterSetup {
    // Hundredths of a percent, va first.
    std::array<int, vatRateCount> vatRates = {2300,       800,          500,         0,
                                              exemptRate, inactiveRate, inactiveRate};
    int mechanismStatus = 0;         // sprn's pr
    int deviceStatus = 0;            // sdev's ds
    std::optional<std::string> date; // the clock's date when fixed, otherwise today's
};

// Values of a successful answer, in order: name and value.
using Reply = std::vector<std::pair<std::string, std::string>>;

class FiscalPrinter {
public:
    FiscalPrinter(PrinterSetup setup, Journal journal)
        : setup(std::move(setup)), journal(std::move(journal)) {}

    // Throws FrameError or CommandRefused where a printer refuses.
    Reply execute(const Command& command);

private:
    // A receipt whose fiscal part closed while its footer lines are still being sent.
    struct Footer {
        std::string document;
        int lines = 0;
    };
    struct DayTotals {
        int receipts = 0;
        int cancelled = 0;
        std::array<int64_t, vatRateCount> byRate{};
    };
    // Since the printer started: what scnt answers.
    struct Counters {
        int completed = 0;
        int cancelled = 0;
        int lastKind = 0; // strns's ts of the open or last receipt, 0 before the first
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
    Reply realIdentity(const Command& command);
    Reply commonStatus(const Command& command);
    Reply addDeposit(const Command& command);
    Reply discountReceipt(const Command& command);
    Reply setDiscountMethod(const Command& command);
    Reply discountMethod(const Command& command);
    Reply addFooterLine(const Command& command);
    Reply endFooter(const Command& command);
    Reply moveCash(const Command& command);
    Reply cashState(const Command& command);
    Reply openDrawer(const Command& command);
    Reply drawerStatus(const Command& command);
    Reply mechanismStatus(const Command& command);
    Reply deviceStatus(const Command& command);
    Reply transactionStatus(const Command& command);
    Reply receiptCounters(const Command& command);
    Reply dayCounters(const Command& command);

    Receipt& openReceipt();
    void refuseWhileOpen() const;
    void checkLine(const SaleLine& line) const;
    void discountLine(SaleLine& line, const Discount& discount,
                      const std::optional<std::string>& description) const;
    void checkPayment(const Receipt& receipt, const Payment& payment) const;
    void checkEnd(const Receipt& receipt, const Sums& sums, const Command& command) const;
    void settleCash(const Receipt& receipt, const Sums& sums);
    void finishFooter();
    std::string date() const;
    std::string stamp() const;

    PrinterSetup setup;
    Journal journal;
    std::optional<Receipt> receiptInProgress;
    std::optional<Footer> footer;
    bool discountFirstMode = false; // discounttypeset's dt
    Till till;
    DayTotals day;
    Counters counters;
};

} // namespace virtual_printer

#endif
