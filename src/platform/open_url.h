// Opening an address in the user's default browser.
#ifndef PLATFORM_OPEN_URL_H
#define PLATFORM_OPEN_URL_H

#include <string>

namespace platform {

// ShellExecuteW "open", maximised, on Windows; xdg-open on Linux. Failures are not reported.
void openUrl(const std::string& url);

} // namespace platform

#endif
