// The text of device parameter 0x20001: "PORT,BAUD,DATABITS,PARITY,STOPBITS,HANDSHAKE".
#ifndef POSLIB_PORT_SETTINGS_H
#define POSLIB_PORT_SETTINGS_H

#include <string>

namespace poslib {

// H: RTS/CTS, the printers' factory setting; X: XON/XOFF, which current models may be set to
// from their menu; N: none.
enum class FlowControl { RtsCts, XonXoff, None };

struct PortSettings {
    std::string port; // COMn, an absolute device path, or tcp://HOST:PORT
    int baudRate = 9600;
    int dataBits = 8;
    char parity = 'N'; // N, E or O
    int stopBits = 1;  // 1 or 2
    FlowControl flowControl = FlowControl::RtsCts;
};

// Throws LibraryError(InvalidArgument) for a text that is not of this form.
PortSettings parsePortSettings(const std::string& text);

} // namespace poslib

#endif
