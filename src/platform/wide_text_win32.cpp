#include "platform/wide_text_win32.h"

#include <climits>
#include <stdexcept>

namespace platform {

namespace {

int lengthOf(std::size_t size) {
    if (size > static_cast<std::size_t>(INT_MAX)) {
        throw std::length_error("text too long for a code page conversion");
    }
    return static_cast<int>(size);
}

} // namespace

std::wstring widen(const std::string& text, UINT codePage) {
    if (text.empty()) {
        return {};
    }
    const int size = lengthOf(text.size());
    const int wideSize = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(wideSize), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), size, &wide[0], wideSize);
    return wide;
}

std::string narrow(const std::wstring& text, UINT codePage) {
    if (text.empty()) {
        return {};
    }
    // UTF-8 takes neither flags nor a default character: it has a form for everything.
    const bool utf8 = codePage == CP_UTF8;
    const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const char* defaultCharacter = utf8 ? nullptr : "?";
    const int size = lengthOf(text.size());
    const int narrowSize = WideCharToMultiByte(codePage, flags, text.data(), size, nullptr, 0,
                                               defaultCharacter, nullptr);
    std::string narrowed(static_cast<std::size_t>(narrowSize), '\0');
    WideCharToMultiByte(codePage, flags, text.data(), size, &narrowed[0], narrowSize,
                        defaultCharacter, nullptr);
    return narrowed;
}

} // namespace platform
