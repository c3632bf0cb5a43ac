// The certificate files in the program's working folder: server.crt (the server certificate
// followed by its authority), server.key (the server's key, readable by its owner only) and
// ca.crt (the authority alone, for the trust stores and for reference); after a renewal also
// replaced-ca.crt, the authorities it replaced, until they are no longer trusted.
#ifndef CERTIFICATE_CERTIFICATE_FOLDER_H
#define CERTIFICATE_CERTIFICATE_FOLDER_H

#include "openssl_handles.h"

#include <ctime>
#include <filesystem>
#include <vector>

namespace certificate {

class CertificateFolder {
public:
    explicit CertificateFolder(std::filesystem::path folder);

    const std::filesystem::path& path() const { return folder; }

    // Whether server.crt and server.key belong together and the certificate verifies for
    // localhost as a server against ca.crt at moment. Missing or unreadable files make it
    // false.
    bool pairValidAt(std::time_t moment) const;

    // Whether server.crt and server.key are there and belong together, whatever their dates.
    bool hasPair() const;

    // The authority in ca.crt, or null when there is none or it cannot be read.
    X509Ptr authority() const;

    // The authorities that renewals replaced and that are still to be distrusted.
    std::vector<X509Ptr> replacedAuthorities() const;
    void keepReplaced(X509* replaced) const;
    void forgetReplaced() const;

    // Replaces the three files as one: each is written whole beside its final name first
    // (FILE.new), then they are renamed, the key first. A failure while writing leaves the
    // files that were there; an end between the renames (a crash, a power cut) is finished
    // by recover(), which write() and the program's start call.
    void write(X509* server, X509* authority, EVP_PKEY* serverKey) const;
    // Whether a write was interrupted, and its completion or undoing.
    bool interrupted() const;
    void recover() const;

private:
    X509Ptr server() const;
    bool keyMatches(X509* server) const;

    std::filesystem::path folder;
};

} // namespace certificate

#endif
