// Serial ports by their Windows names (COM1..COM24).
#ifndef PLATFORM_SERIAL_PORTS_H
#define PLATFORM_SERIAL_PORTS_H

#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

namespace platform {

// The device behind a port text: "COMn" names the n-th serial port (ttyS<n-1> in the
// serial device folder on Linux, \\.\COMn on Windows); any other text is returned
// unchanged (a device path).
std::string serialDevicePath(const std::string& portText);

// True when port COMn exists: on Linux its device opens and answers a terminal-attributes
// query; on Windows GetDefaultCommConfigW succeeds for it.
bool serialPortPresent(int number);

#ifdef _WIN32
// GetDefaultCommConfigW, or a stand-in with its signature.
using CommConfigQuery = BOOL(WINAPI*)(LPCWSTR name, LPCOMMCONFIG config, LPDWORD size);

// Whether `query` reads the default configuration of the port `name`. A driver may need a
// record larger than COMMCONFIG for data of its own; it is asked again with the size it
// reports.
bool commConfigReadable(const std::wstring& name, CommConfigQuery query);
#else
// The folder of the ttyS devices: "/dev", unless a test has pointed it at one holding
// links to devices of its own. Set it before any other thread reads it.
void setSerialDeviceFolder(const std::string& folder);
#endif

} // namespace platform

#endif
