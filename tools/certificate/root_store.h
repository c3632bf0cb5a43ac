// Where the authority is trusted. On Windows the trusted root certificates of the current
// user (Windows asks the user to confirm each addition) or of the machine (administrators
// only, no confirmation), where Chromium-based browsers and Edge find them. On Linux the
// certificate stores (NSS) of the user's Chromium, Chrome and Firefox profiles in $HOME, as
// certutil fills them; a browser that has never run has none yet.
#ifndef CERTIFICATE_ROOT_STORE_H
#define CERTIFICATE_ROOT_STORE_H

#include <openssl/x509.h>
#include <string>
#include <vector>

namespace certificate {

enum class StoreScope { user, machine };

// Adds authority where it is missing and returns where it is trusted now. Throws when it
// cannot be added somewhere, after taking it back out of the places it was added to.
std::vector<std::string> trustAuthority(X509* authority, StoreScope scope);

// Removes authority, found by its thumbprint; nothing happens where it is not.
void distrustAuthority(X509* authority, StoreScope scope);

} // namespace certificate

#endif
