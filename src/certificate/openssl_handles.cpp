#include "certificate/openssl_handles.h"

#include <openssl/err.h>

namespace certificate {

namespace {

// OpenSSL's queue of reasons, oldest first, emptied.
std::string openSslReasons() {
    std::string reasons;
    while (const unsigned long code = ERR_get_error()) {
        char text[256];
        ERR_error_string_n(code, text, sizeof text);
        reasons += (reasons.empty() ? "" : "; ") + std::string(text);
    }
    return reasons.empty() ? "no reason given" : reasons;
}

} // namespace

OpenSslError::OpenSslError(const std::string& step)
    : std::runtime_error(step + " failed: " + openSslReasons()) {}

} // namespace certificate
