#include "certificate/authority.h"
#include "root_store.h"

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>
// windows.h first: wincrypt.h builds on its types.
#include <windows.h>

#include <wincrypt.h>

namespace certificate {

namespace {

struct StoreCloser {
    void operator()(void* store) const { CertCloseStore(store, 0); }
};
using RootStore = std::unique_ptr<void, StoreCloser>;

[[noreturn]] void windowsError(const std::string& step) {
    throw std::runtime_error(step + " failed: Windows error " + std::to_string(GetLastError()));
}

std::string storeName(StoreScope scope) {
    return scope == StoreScope::Machine ? "the machine's trusted root certificates"
                                        : "the current user's trusted root certificates";
}

RootStore openRootStore(StoreScope scope) {
    const DWORD location = scope == StoreScope::Machine ? CERT_SYSTEM_STORE_LOCAL_MACHINE
                                                        : CERT_SYSTEM_STORE_CURRENT_USER;
    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, location, L"ROOT");
    if (store == nullptr) {
        windowsError("opening " + storeName(scope));
    }
    return RootStore(store);
}

std::vector<unsigned char> der(X509* certificate) {
    const int length = checked(i2d_X509(certificate, nullptr), "encoding the authority");
    std::vector<unsigned char> encoded(static_cast<std::size_t>(length));
    unsigned char* out = encoded.data();
    checked(i2d_X509(certificate, &out), "encoding the authority");
    return encoded;
}

// The store's own copy of authority, found by its SHA-1 thumbprint, or null.
PCCERT_CONTEXT find(HCERTSTORE store, X509* authority) {
    std::vector<unsigned char> digest = thumbprintBytes(authority);
    CRYPT_HASH_BLOB hash{static_cast<DWORD>(digest.size()), digest.data()};
    return CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_SHA1_HASH, &hash,
                                      nullptr);
}

} // namespace

Trusted trustAuthority(X509* authority, StoreScope scope) {
    const RootStore store = openRootStore(scope);
    if (PCCERT_CONTEXT present = find(store.get(), authority)) {
        CertFreeCertificateContext(present);
        return {{storeName(scope)}, {}};
    }
    std::vector<unsigned char> encoded = der(authority);
    if (!CertAddEncodedCertificateToStore(store.get(), X509_ASN_ENCODING, encoded.data(),
                                          static_cast<DWORD>(encoded.size()),
                                          CERT_STORE_ADD_USE_EXISTING, nullptr)) {
        windowsError("adding the authority to " + storeName(scope));
    }
    return {{storeName(scope)}, {}};
}

void distrustAuthority(X509* authority, StoreScope scope) {
    const RootStore store = openRootStore(scope);
    if (PCCERT_CONTEXT present = find(store.get(), authority)) {
        // Frees the context whether or not it succeeds.
        if (!CertDeleteCertificateFromStore(present)) {
            windowsError("removing the authority from " + storeName(scope));
        }
        // Windows has written the removal already; Wine writes it to its registry only when
        // asked to, so it is asked, and what it answers changes nothing here.
        CertControlStore(store.get(), CERT_STORE_CTRL_COMMIT_FORCE_FLAG, CERT_STORE_CTRL_COMMIT,
                         nullptr);
    }
}

} // namespace certificate
