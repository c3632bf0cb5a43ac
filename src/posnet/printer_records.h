// The records the printer takes and gives: amounts in hundredths, quantities in
// ten-thousandths, texts in Windows-1250 as the printer takes them.
#ifndef POSNET_PRINTER_RECORDS_H
#define POSNET_PRINTER_RECORDS_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A discount, or a markup, on a line or on the whole receipt: a percent the printer works out
// with its configured method, or an amount.
struct Discount {
    bool markup = false;
    // Exactly one of the two: hundredths of a percent (1500 is 15 %), or hundredths.
    std::optional<int64_t> percent;
    std::optional<int64_t> amount;
    // Empty when the sale gives none.
    std::string name;
};

struct ReceiptLine {
    std::string name;
    // Empty when the sale gives none.
    std::string unit;
    // None sells one unit.
    std::optional<int64_t> quantity;
    int64_t price = 0;
    // 0 to 6 for the printer's rates A to G.
    int64_t vatRate = 0;
    // Before the discount.
    int64_t value = 0;
    std::optional<Discount> discount;
    // Printed under the line; empty when none.
    std::string description;
};

// Returnable packaging: its deposit is taken from the customer, or returned, outside the
// fiscal totals.
struct Deposit {
    // The packaging's number on the printer, 1 to 11 digits.
    std::string number;
    int64_t quantity = 1;
    int64_t price = 0;
    bool returned = false;
    // Empty when none.
    std::string description;
};

struct Payment {
    // The printer's payment form, 0 to 8.
    int64_t form = 0;
    int64_t amount = 0;
};

// A line printed after the fiscal part of the receipt.
struct FooterLine {
    enum class Kind { Text, OrderNumber, Customer };
    Kind kind = Kind::Text;
    std::string text;
};

struct Receipt {
    // Empty when no buyer's tax number is printed.
    std::string buyerNip;
    std::vector<ReceiptLine> lines;
    std::optional<Discount> discount;
    std::vector<Deposit> deposits;
    // What they come to beyond the total is change, given in cash.
    std::vector<Payment> payments;
    std::vector<FooterLine> footer;
    // What the customer pays: the lines after their discounts, plus deposits taken, less
    // deposits returned.
    int64_t total = 0;
};

// The till's cash moved in or out on a non-fiscal slip.
struct CashMovement {
    int64_t amount = 0;
    bool in = true;
};

// What printer this is ("getrealid", "scomm").
struct PrinterInfo {
    std::string model;
    std::string firmware;
    std::string uniqueNumber;
    bool fiscal = false;
};

// The printer's seven VAT rates; a rate it does not report stays 0.
struct VatRates {
    float va = 0;
    float vb = 0;
    float vc = 0;
    float vd = 0;
    float ve = 0;
    float vf = 0;
    float vg = 0;
};

// How the serial line to the printer is set, always with 8 data bits; the defaults are the
// printers' factory settings. A printer on the network has no such line.
struct LineSettings {
    enum class Parity { None, Odd, Even };
    enum class FlowControl { RtsCts, XonXoff, None };

    int speed = 9600; // baud: 1200, 2400, 4800, 9600, 19200, 38400, 57600 or 115200
    Parity parity = Parity::None;
    int stopBits = 1; // or 2
    FlowControl flowControl = FlowControl::RtsCts;
};

#endif
