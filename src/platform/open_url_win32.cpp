#include "platform/open_url.h"

#include "platform/wide_text_win32.h"

#include <shellapi.h>
#include <windows.h>

namespace platform {

void openUrl(const std::string& url) {
    ShellExecuteW(nullptr, L"open", widen(url).c_str(), nullptr, nullptr, SW_SHOWMAXIMIZED);
}

} // namespace platform
