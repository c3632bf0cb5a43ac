// The simulated printer's fiscal side: the open receipt, the VAT table, the clock's date, the
// status and counters it reports, and the journal of what it printed.
#ifndef VIRTUAL_PRINTER_FISCAL_PRINTER_H
#define VIRTUAL_PRINTER_FISCAL_PRINTER_H

#include "command.h"
#include "discount.h"
#include "journal.h"
#include "till.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace virtual_printer {

constexpr int kVatRates = 7;         // va..vg
constexpr int kExemptRate = 10000;   // 100,00
constexpr int kInactiveRate = 10100; // 101,00
constexpr int64_t kLargestAmount = 9999999999;

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
        Quantity quantity;
        int64_t price;
        int rate;
        int64_t value;
        int64_t discounted;             // the value after its discount or markup
        std::vector<std::string> notes; // printed under the line
    };
    struct Payment {
        int form;
        int64_t amount;
        bool change;
        std::string name;
    };
    struct Deposit {
        std::string number;
        bool returned;
        int64_t quantity;
        int64_t price;
        std::string description;
    };
    struct Receipt {
        bool blockMode = false;
        std::string buyer;
        std::vector<SaleLine> lines;
        std::vector<Payment> payments;
        std::vector<Deposit> deposits;
        std::vector<std::string> receiptDiscounts;       // as printed after the lines
        std::array<int64_t, kVatRates> discountByRate{}; // their share in each rate, signed
    };
    // The sums a receipt is ended with; payable may be negative when more deposits are
    // returned than goods and deposits taken come to.
    struct Sums {
        int64_t fiscal = 0;
        int64_t taken = 0;
        int64_t returned = 0;
        int64_t paid = 0;
        int64_t change = 0; // change lines sent
        int64_t due() const { return std::max<int64_t>(fiscal + taken - returned, 0); }
    };
    // A receipt whose fiscal part closed while its footer lines are still being sent.
    struct Footer {
        std::string document;
        int lines = 0;
    };
    struct DayTotals {
        int receipts = 0;
        int cancelled = 0;
        std::array<int64_t, kVatRates> byRate{};
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
    void discountLine(SaleLine& line, const Command& command) const;
    void checkPayment(const Receipt& receipt, const Payment& payment) const;
    void checkEnd(const Receipt& receipt, const Sums& sums, const Command& command) const;
    Sums sums(const Receipt& receipt) const;
    std::array<int64_t, kVatRates> byRate(const Receipt& receipt) const;
    std::string receiptDocument(const Receipt& receipt, const Sums& sums) const;
    void settleCash(const Receipt& receipt, const Sums& sums);
    void finishFooter();
    std::string date() const;
    std::string stamp() const;
    std::string lineText(const SaleLine& line) const;

    PrinterSetup setup_;
    Journal journal_;
    std::optional<Receipt> receipt_;
    std::optional<Footer> footer_;
    bool discountFirst_ = false; // discounttypeset's dt
    Till till_;
    DayTotals day_;
    Counters counters_;
};

// "12.34" for 1234 hundredths, "-0.50" for -50.
std::string formatAmount(int64_t hundredths);
// "23,00" for a rate of 2300.
std::string formatRate(int hundredths);

} // namespace virtual_printer

#endif
