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

bool isHighSurrogate(wchar_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool isLowSurrogate(wchar_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// Characters beyond the basic plane take two UTF-16 units; each would become a '?' of its own,
// and one character must stay one byte.
std::wstring withOneUnitPerCharacter(const std::wstring& wide) {
    std::wstring result;
    result.reserve(wide.size());
    for (std::size_t index = 0; index < wide.size(); ++index) {
        if (isHighSurrogate(wide[index]) && index + 1 < wide.size() &&
            isLowSurrogate(wide[index + 1])) {
            ++index;
            result += L'?';
        } else {
            result += wide[index];
        }
    }
    return result;
}

} // namespace

std::string utf8ToWindows1250(const std::string& utf8) {
    std::wstring wide = withOneUnitPerCharacter(widen(utf8));
    std::replace_if(wide.begin(), wide.end(), isUnassignedByte, L'?');
    return narrow(wide, windows1250);
}

std::string windows1250ToUtf8(const std::string& windows1250Text) {
    std::wstring wide = widen(windows1250Text, windows1250);
    std::replace_if(wide.begin(), wide.end(), isUnassignedByte, L'\xFFFD');
    return narrow(wide);
}

} // namespace platform
