// The certificate files in the program's working folder: server.crt (the server certificate
// followed by its authority), server.key (the server's key, readable by its owner only) and
// ca.crt (the authority alone, for the trust stores and for reference); after a renewal also
// replaced-ca.crt, the authorities it replaced, until they are no longer trusted, and
// trust-pending, the browser stores that did not take the authority yet. Every change is
// made under the lock file certificate.lock.
#ifndef CERTIFICATE_CERTIFICATE_FOLDER_H
#define CERTIFICATE_CERTIFICATE_FOLDER_H

#include "certificate/openssl_handles.h"
#include "platform/file_lock.h"

#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

namespace certificate {

class CertificateFolder {
public:
    explicit CertificateFolder(std::filesystem::path folder);

    const std::filesystem::path& path() const { return folder; }

    // Why the pair cannot be served from now until `until`, or empty when it can: server.crt
    // and server.key must belong together, ca.crt must be an authority of the program's own
    // kind, and the certificate must verify for localhost as a server against it at both
    // moments. Missing, empty or unreadable files are a reason too.
    std::string problem(std::time_t now, std::time_t until) const;
    bool pairValidAt(std::time_t moment) const { return problem(moment, moment).empty(); }

    // Whether server.crt and server.key are there and belong together, whatever their dates.
    bool hasPair() const;

    // The authority in ca.crt, or null when there is none or it cannot be read.
    X509Ptr authority() const;

    // Held while the folder is changed; waits for another process's changes to end. Makes
    // the folder when it is missing.
    platform::FileLock lock() const;

    // The authorities that renewals replaced and that are still to be distrusted, with the
    // moment each was replaced (0 when not recorded).
    struct Replaced {
        X509Ptr authority;
        std::time_t at;
    };
    std::vector<Replaced> replacedAuthorities() const;
    void keepReplaced(X509* replaced, std::time_t at) const;
    // Rewrites the list with still alone (none: the file goes).
    void keepOnlyReplaced(const std::vector<Replaced>& still) const;

    // The stores that did not take the authority, one a line; none: the file goes.
    std::vector<std::string> storesPendingTrust() const;
    void setStoresPendingTrust(const std::vector<std::string>& stores) const;

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
