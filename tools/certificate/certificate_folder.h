// The certificate files in the program's working folder: server.crt (the server certificate
// followed by its authority), server.key (the server's key, readable by its owner only) and
// ca.crt (the authority alone, for the trust stores and for reference).
#ifndef CERTIFICATE_CERTIFICATE_FOLDER_H
#define CERTIFICATE_CERTIFICATE_FOLDER_H

#include "openssl_handles.h"

#include <ctime>
#include <filesystem>

namespace certificate {

class CertificateFolder {
public:
    explicit CertificateFolder(std::filesystem::path folder);

    const std::filesystem::path& path() const { return folder; }

    // Whether server.crt and server.key belong together and the certificate verifies for
    // localhost as a server against ca.crt at moment. Missing or unreadable files make it
    // false.
    bool pairValidAt(std::time_t moment) const;

    // The authority in ca.crt, or null when there is none or it cannot be read.
    X509Ptr authority() const;

    // Replaces the three files. Each is written beside its final name first, so a failure
    // leaves the files that were there.
    void write(X509* server, X509* authority, EVP_PKEY* serverKey) const;

private:
    std::filesystem::path folder;
};

} // namespace certificate

#endif
