// A certificate authority that exists only in memory, limited by name constraints to the
// names it was made for. Its private key is never written anywhere and is freed with the
// object, so once it has signed the server certificate nothing can vouch for another name.
#ifndef CERTIFICATE_AUTHORITY_H
#define CERTIFICATE_AUTHORITY_H

#include "certificate/openssl_handles.h"

#include <ctime>
#include <string>
#include <vector>

namespace certificate {

struct ServerNames {
    std::vector<std::string> dnsNames;
    std::vector<std::string> ipAddresses;
};

// localhost, 127.0.0.1 and ::1: where the browser finds the program.
ServerNames localhostNames();

struct Validity {
    std::time_t notBefore;
    std::time_t notAfter;
};

// A new P-256 key.
KeyPtr newKey();

// The SHA-1 digest of the certificate: Windows' thumbprint, as bytes and as upper-case
// hexadecimal text.
std::vector<unsigned char> thumbprintBytes(X509* certificate);
std::string thumbprint(X509* certificate);

// The subject's common name, unique to each authority: the name a user sees in a store.
std::string commonName(X509* certificate);

// Why authority is not one of this program's own kind (an authority that may sign server
// certificates only, under critical name constraints that permit the names of
// localhostNames() and nothing else), or empty when it is. Anything else could vouch for
// other names, and is never trusted, kept or replaced by a renewal.
std::string foreignAuthorityReason(X509* authority);

class CertificateAuthority {
public:
    CertificateAuthority(const ServerNames& permitted, const Validity& validity);
    CertificateAuthority(const CertificateAuthority&) = delete;
    CertificateAuthority& operator=(const CertificateAuthority&) = delete;

    X509* certificate() const { return authorityCertificate.get(); }

    // A server certificate for names and serverKey, valid as long as the authority.
    X509Ptr issue(const ServerNames& names, EVP_PKEY* serverKey) const;

private:
    KeyPtr key;
    X509Ptr authorityCertificate;
    Validity validity;
};

} // namespace certificate

#endif
