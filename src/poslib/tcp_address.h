// Port texts of printers on the network: tcp://HOST:PORT.
#ifndef POSLIB_TCP_ADDRESS_H
#define POSLIB_TCP_ADDRESS_H

#include <string>

namespace poslib {

struct TcpAddress {
    std::string host; // without the brackets of an IPv6 address
    std::string port;
};

bool isTcpAddress(const std::string& portText);

// Throws LibraryError(kPortNotOpened) when the text is not tcp://HOST:PORT.
TcpAddress splitTcpAddress(const std::string& portText);

} // namespace poslib

#endif
