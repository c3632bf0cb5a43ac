#include "platform/message_box.h"

#include "platform/wide_text_win32.h"

#include <windows.h>

namespace platform {

void showErrorBox(const std::string& text, const std::string& caption) {
    MessageBoxW(nullptr, widen(text).c_str(), widen(caption).c_str(), MB_OK | MB_ICONERROR);
}

} // namespace platform
