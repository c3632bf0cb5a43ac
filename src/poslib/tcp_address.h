// Port texts of printers on the network: tcp://HOST:PORT.
#ifndef POSLIB_TCP_ADDRESS_H
#define POSLIB_TCP_ADDRESS_H

#include "poslib/line.h"

#include <functional>
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

// Throws LibraryError(PortNotOpened) when the text is not tcp://HOST:PORT.
TcpAddress splitTcpAddress(const std::string& portText);

// getaddrinfo for a stream connection to the address: its result code, and the list it made
// (freed with freeaddrinfo) in `found`.
int findAddresses(const TcpAddress& address, addrinfo** found);
using AddressFinder = std::function<int(const TcpAddress&, addrinfo**)>;

// The host's addresses. The lookup runs on a thread of its own, so that a name server that
// does not answer holds the caller only until the deadline; the thread finishes the lookup by
// itself after that. Throws LibraryError(PortNotOpened) when the name is unknown or the
// deadline passed first.
using AddressList = std::shared_ptr<const addrinfo>;
AddressList lookUpTcpAddress(const std::string& portText, Clock::time_point deadline,
                             const AddressFinder& find = findAddresses);

} // namespace poslib

#endif
