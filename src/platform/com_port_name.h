// Recognising the Windows serial port names COM1, COM2, ... in port texts.
#ifndef PLATFORM_COM_PORT_NAME_H
#define PLATFORM_COM_PORT_NAME_H

#include <string>

namespace platform {

// The n of "COMn" (in any letter case, as Windows ignores it), or 0 for any other text.
int comPortNumber(const std::string& portText);

} // namespace platform

#endif
