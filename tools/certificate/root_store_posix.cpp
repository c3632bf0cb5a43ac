#include "root_store.h"

#include <stdexcept>

namespace certificate {

namespace {

[[noreturn]] void windowsOnly() {
    throw std::runtime_error("the trusted root certificates of Windows exist on Windows only; "
                             "here fiscal-printer-proxy-setup makes the browsers trust ca.crt");
}

} // namespace

void trustAuthority(X509*) {
    windowsOnly();
}

void distrustAuthority(X509*) {
    windowsOnly();
}

} // namespace certificate
