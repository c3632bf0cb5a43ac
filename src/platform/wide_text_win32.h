// Conversions between the program's narrow texts and the wide (UTF-16) texts of the Windows
// API.
#ifndef PLATFORM_WIDE_TEXT_WIN32_H
#define PLATFORM_WIDE_TEXT_WIN32_H

#include <string>
#include <windows.h>

namespace platform {

// MultiByteToWideChar: bytes that are not a character of the code page become U+FFFD.
std::wstring widen(const std::string& text, UINT codePage = CP_UTF8);

// WideCharToMultiByte: into a single-byte code page, characters without a form of their
// own become '?' (no look-alike letters).
std::string narrow(const std::wstring& text, UINT codePage = CP_UTF8);

} // namespace platform

#endif
