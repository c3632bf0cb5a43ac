// The records the printer takes and gives: amounts in hundredths, quantities in
// ten-thousandths, texts in Windows-1250 as the printer takes them.
#ifndef POSNET_PRINTER_RECORDS_H
#define POSNET_PRINTER_RECORDS_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct ReceiptLine {
    std::string name;
    // Empty when the sale gives none.
    std::string unit;
    // None sells one unit.
    std::optional<int64_t> quantity;
    int64_t price = 0;
    // 0 to 6 for the printer's rates A to G.
    int64_t vatRate = 0;
    int64_t value = 0;
};

struct Receipt {
    // Empty when no buyer's tax number is printed.
    std::string buyerNip;
    std::vector<ReceiptLine> lines;
    // The printer's payment form, 0 to 8.
    int64_t paymentForm = 0;
    int64_t total = 0;
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
