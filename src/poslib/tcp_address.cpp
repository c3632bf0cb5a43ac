#include "poslib/tcp_address.h"

#include "poslib/library_error.h"

namespace poslib {

namespace {

const std::string kTcpPrefix = "tcp://";

} // namespace

bool isTcpAddress(const std::string& portText) {
    return portText.compare(0, kTcpPrefix.size(), kTcpPrefix) == 0;
}

TcpAddress splitTcpAddress(const std::string& portText) {
    const std::string address = isTcpAddress(portText) ? portText.substr(kTcpPrefix.size()) : "";
    const std::size_t colon = address.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == address.size()) {
        throw LibraryError(kPortNotOpened,
                           "cannot open " + portText + ": expected tcp://HOST:PORT");
    }
    TcpAddress result{address.substr(0, colon), address.substr(colon + 1)};
    if (result.host.front() == '[' && result.host.back() == ']') {
        result.host = result.host.substr(1, result.host.size() - 2);
    }
    return result;
}

} // namespace poslib
