// A received command frame taken apart, with the field readers a printer applies to it.
#ifndef VIRTUAL_PRINTER_COMMAND_H
#define VIRTUAL_PRINTER_COMMAND_H

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace virtual_printer {

struct Command {
    std::string name; // without the "!" of immediate execution
    bool immediate = false;
    std::string token; // "@nnnn" to echo, or empty
    std::map<std::string, std::string> fields;
};

// Throws FrameError for a body a printer cannot take apart (no mnemonic, bad token, a field
// without a value, "!" on a command that is not a status query).
Command parseCommand(const std::string& body);

// The readers throw FrameError: 2 when a required field is absent, 3 when it does not
// convert, 10 when a text is longer than the printer allows.
const std::string& requiredText(const Command& command, const std::string& name,
                                std::size_t longest);
std::optional<std::string> optionalText(const Command& command, const std::string& name,
                                        std::size_t longest);
// "Kwota": hundredths as plain digits, 0 to 9999999999.
int64_t amountField(const Command& command, const std::string& name);
// Nothing when the field is absent.
std::optional<int64_t> optionalAmount(const Command& command, const std::string& name);
// Plain decimal digits, at most longest of them (up to 18), such as a packaging number or the
// twelve digits of a cash amount.
int64_t digitsField(const Command& command, const std::string& name, std::size_t longest);
// A small whole number, such as a VAT rate or payment form number.
int integerField(const Command& command, const std::string& name);
// A "Num." as read: the text, for the journal, and its value as units / 10^places.
struct Quantity {
    std::string text;
    int64_t units;
    int places;
};
// "Num.": decimal digits with "." or "," as separator and an optional "-"; 1 when absent.
Quantity quantityField(const Command& command, const std::string& name);
bool boolField(const Command& command, const std::string& name, bool absent);
// yyyy-mm-dd
std::string dateField(const Command& command, const std::string& name);

} // namespace virtual_printer

#endif
