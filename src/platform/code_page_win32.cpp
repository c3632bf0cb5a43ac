#include "platform/code_page.h"

#include "platform/wide_text_win32.h"

#include <algorithm>

namespace platform {

namespace {

constexpr UINT windows1250 = 1250;

// Windows passes the code page's five unassigned bytes through as C1 control characters;
// none of its assigned bytes lands there.
bool isUnassignedByte(wchar_t character) {
    return character >= 0x80 && character <= 0x9F;
}

} // namespace

std::string utf8ToWindows1250(const std::string& utf8) {
    std::wstring wide = widen(utf8);
    std::replace_if(wide.begin(), wide.end(), isUnassignedByte, L'?');
    return narrow(wide, windows1250);
}

std::string windows1250ToUtf8(const std::string& windows1250Text) {
    std::wstring wide = widen(windows1250Text, windows1250);
    std::replace_if(wide.begin(), wide.end(), isUnassignedByte, L'\xFFFD');
    return narrow(wide);
}

} // namespace platform
