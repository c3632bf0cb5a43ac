// Port texts that can name only a printer. The program takes port texts from callers and from
// its configuration file, so a text that names a user's terminal, a file or another device
// must never reach the printer library, which would switch it to the printer's line settings
// and write frames into it.
#ifndef POSNET_PRINTER_PORT_H
#define POSNET_PRINTER_PORT_H

#include <stdexcept>
#include <string>

namespace posnet {

// Says why a port text was refused; the text itself is escaped for the log.
class RefusedPort : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The text to hand to the printer library for a port text that names a printer: COM1..COM24
// and tcp://HOST:PORT as they are; on POSIX systems also a path that leads, through any
// symbolic links, to a serial device /dev/ttyS*, /dev/ttyUSB*, /dev/ttyACM* or /dev/rfcomm*,
// given as that device's path so that the link cannot change before it is opened. Throws
// RefusedPort for every other text; nothing is opened.
std::string printerPort(const std::string& portText);

} // namespace posnet

#endif
