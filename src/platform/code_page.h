// Conversions between UTF-8 and the Windows-1250 code page.
#ifndef PLATFORM_CODE_PAGE_H
#define PLATFORM_CODE_PAGE_H

#include <string>

namespace platform {

// A character without a Windows-1250 form (or a malformed UTF-8 sequence) becomes '?'.
std::string utf8ToWindows1250(const std::string& utf8);
// Bytes without a character in Windows-1250 become U+FFFD.
std::string windows1250ToUtf8(const std::string& windows1250);

} // namespace platform

#endif
