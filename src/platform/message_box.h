// Error messages for the user.
#ifndef PLATFORM_MESSAGE_BOX_H
#define PLATFORM_MESSAGE_BOX_H

#include <string>

namespace platform {

// MessageBoxW with the error icon and an OK button on Windows; the text on standard error
// on Linux. Both texts are UTF-8. Returns when the user has closed the box.
void showErrorBox(const std::string& text, const std::string& caption);

} // namespace platform

#endif
