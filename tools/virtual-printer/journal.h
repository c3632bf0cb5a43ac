// The printer's journal: every finished document appended as readable UTF-8 text.
#ifndef VIRTUAL_PRINTER_JOURNAL_H
#define VIRTUAL_PRINTER_JOURNAL_H

#include <string>

namespace virtual_printer {

class Journal {
public:
    explicit Journal(std::string path) : path(std::move(path)) {}

    // The document as the printer prints it, texts in Windows-1250. Opened, written and
    // closed per document, so that whoever reads the file sees whole documents at once.
    // Throws std::runtime_error when the file cannot be written.
    void append(const std::string& windows1250Document) const;

private:
    std::string path;
};

// Bytes that Windows-1250 leaves undefined become U+FFFD.
std::string windows1250ToUtf8(const std::string& text);

} // namespace virtual_printer

#endif
