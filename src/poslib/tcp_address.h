// Port texts of printers on the network: tcp://HOST:PORT.
#ifndef POSLIB_TCP_ADDRESS_H
#define POSLIB_TCP_ADDRESS_H

#include "poslib/line.h"

#include <memory>
#include <string>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#endif

namespace poslib {

struct TcpAddress {
    std::string host; // without the brackets of an IPv6 address
    std::string port;
};

bool isTcpAddress(const std::string& portText);

// Throws LibraryError(kPortNotOpened) when the text is not tcp://HOST:PORT.
TcpAddress splitTcpAddress(const std::string& portText);

// The host's addresses for a stream connection, as getaddrinfo lists them. The lookup runs on
// a thread of its own, so that a name server that does not answer holds the caller only until
// the deadline; the thread finishes the lookup by itself after that. Throws
// LibraryError(kPortNotOpened) when the name is unknown or the deadline passed first.
using AddressList = std::shared_ptr<const addrinfo>;
AddressList lookUpTcpAddress(const std::string& portText, Clock::time_point deadline);

} // namespace poslib

#endif
