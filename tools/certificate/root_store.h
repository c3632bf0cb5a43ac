// Where the authority is trusted. On Windows the trusted root certificates of the current
// user (Windows asks the user to confirm each addition) or of the machine (administrators
// only, no confirmation), where Chromium-based browsers and Edge find them. On Linux the
// certificate stores (NSS) of the user's Chromium, Chrome and Firefox profiles in $HOME (also
// as snaps and Flatpaks install them, and in Firefox's newer folder under ~/.config), as
// certutil fills them; a browser that has never run has none yet.
#ifndef CERTIFICATE_ROOT_STORE_H
#define CERTIFICATE_ROOT_STORE_H

#include <openssl/x509.h>
#include <string>
#include <vector>

namespace certificate {

enum class StoreScope { User, Machine };

struct Trusted {
    std::vector<std::string> places; // where it is trusted now
    std::vector<std::string> failed; // stores that did not take it, each with why, one line
};

// Adds authority where it is missing. Throws when the main store does not take it (Windows:
// the scope's root certificates; Linux: the user's own store, ~/.pki/nssdb, or when there is
// none the first store found), which is tried first; a failure in another store is only
// listed.
Trusted trustAuthority(X509* authority, StoreScope scope);

// Removes authority, found by its thumbprint; nothing happens where it is not.
void distrustAuthority(X509* authority, StoreScope scope);

} // namespace certificate

#endif
