#ifndef POSNET_CODE_PAGE_CONVERTER_H
#define POSNET_CODE_PAGE_CONVERTER_H

#include <string>

// The process-wide conversions between the web application's UTF-8 and the printer's
// Windows-1250.
class CodePageConverter {
public:
    static const CodePageConverter& instance();

    // Characters without a Windows-1250 form become '?'.
    std::string toWindows1250(const std::string& utf8) const;
    std::string toUtf8(const std::string& windows1250) const;
};

#endif
