// The current user's trusted root certificates on Windows, where Chromium-based browsers and
// Edge find them. On Linux fiscal-printer-proxy-setup adds the authority to the browsers'
// own stores instead, and these throw.
#ifndef CERTIFICATE_ROOT_STORE_H
#define CERTIFICATE_ROOT_STORE_H

#include <openssl/x509.h>

namespace certificate {

// Adds authority unless it is there already; Windows asks the user to confirm the addition.
void trustAuthority(X509* authority);

// Removes authority, found by its thumbprint; nothing happens when it is not there.
void distrustAuthority(X509* authority);

} // namespace certificate

#endif
