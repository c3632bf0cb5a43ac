// Serial ports by their Windows names (COM1..COM24).
#ifndef PLATFORM_SERIAL_PORTS_H
#define PLATFORM_SERIAL_PORTS_H

#include <string>

namespace platform {

// The device behind a port text: "COMn" names the n-th serial port (/dev/ttyS<n-1> on
// Linux, \\.\COMn on Windows); any other text is returned unchanged (a device path).
std::string serialDevicePath(const std::string& portText);

// True when port COMn exists: on Linux its device opens and answers a terminal-attributes
// query; on Windows GetDefaultCommConfigW succeeds for it.
bool serialPortPresent(int number);

} // namespace platform

#endif
