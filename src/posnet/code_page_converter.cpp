#include "posnet/code_page_converter.h"

#include "platform/code_page.h"

// Texts are converted whole, whatever their length, and zero bytes are kept: there are no
// fixed buffers to overrun, and nothing of a text is silently dropped. Texts bound for the
// printer get their control bytes replaced where they are read.

const CodePageConverter& CodePageConverter::instance() {
    static const CodePageConverter converter;
    return converter;
}

std::string CodePageConverter::toWindows1250(const std::string& utf8) const {
    return platform::utf8ToWindows1250(utf8);
}

std::string CodePageConverter::toUtf8(const std::string& windows1250) const {
    return platform::windows1250ToUtf8(windows1250);
}
