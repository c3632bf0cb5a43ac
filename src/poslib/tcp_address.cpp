#include "poslib/tcp_address.h"

#include "poslib/library_error.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace poslib {

namespace {

const std::string tcpPrefix = "tcp://";

// Shared by the caller and the lookup thread, which may outlive the caller's wait.
struct Lookup {
    ~Lookup() {
        if (addresses != nullptr) {
            ::freeaddrinfo(addresses);
        }
    }
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    int result = 0;
    addrinfo* addresses = nullptr;
};

std::string lookupFailure(int code) {
#ifdef _WIN32
    return ::gai_strerrorA(code); // the narrow text, whatever UNICODE says
#else
    return ::gai_strerror(code);
#endif
}

void lookUp(const std::shared_ptr<Lookup>& lookup, const TcpAddress& address,
            const AddressFinder& find) {
    addrinfo* addresses = nullptr;
    const int result = find(address, &addresses);
    const std::lock_guard<std::mutex> lock(lookup->mutex);
    lookup->result = result;
    lookup->addresses = addresses;
    lookup->done = true;
    lookup->finished.notify_all();
}

} // namespace

bool isTcpAddress(const std::string& portText) {
    return portText.compare(0, tcpPrefix.size(), tcpPrefix) == 0;
}

TcpAddress splitTcpAddress(const std::string& portText) {
    const std::string address = isTcpAddress(portText) ? portText.substr(tcpPrefix.size()) : "";
    const std::size_t colon = address.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == address.size()) {
        throw LibraryError(PortNotOpened, "cannot open " + portText + ": expected tcp://HOST:PORT");
    }
    TcpAddress result{address.substr(0, colon), address.substr(colon + 1)};
    if (result.host.front() == '[' && result.host.back() == ']') {
        result.host = result.host.substr(1, result.host.size() - 2);
    }
    return result;
}

int findAddresses(const TcpAddress& address, addrinfo** found) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    return ::getaddrinfo(address.host.c_str(), address.port.c_str(), &hints, found);
}

AddressList lookUpTcpAddress(const std::string& portText, Clock::time_point deadline,
                             const AddressFinder& find) {
    const TcpAddress address = splitTcpAddress(portText);
    const auto lookup = std::make_shared<Lookup>();
    std::thread([lookup, address, find] { lookUp(lookup, address, find); }).detach();
    std::unique_lock<std::mutex> lock(lookup->mutex);
    if (!lookup->finished.wait_until(lock, deadline, [&] { return lookup->done; })) {
        throw LibraryError(PortNotOpened,
                           "cannot open " + portText + ": no address found within the wait limit");
    }
    if (lookup->result != 0) {
        throw LibraryError(PortNotOpened,
                           "cannot open " + portText + ": " + lookupFailure(lookup->result));
    }
    // The list lives as long as the lookup that holds it.
    return AddressList(lookup, lookup->addresses);
}

} // namespace poslib
