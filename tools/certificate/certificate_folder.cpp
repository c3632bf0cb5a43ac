#include "certificate_folder.h"

#include "platform/durable_file.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <vector>

namespace certificate {

namespace fs = std::filesystem;

namespace {

constexpr const char* serverCertificateName = "server.crt";
constexpr const char* serverKeyName = "server.key";
constexpr const char* authorityName = "ca.crt";
constexpr const char* replacedName = "replaced-ca.crt";

BioPtr readFile(const fs::path& path) {
    return BioPtr(BIO_new_file(path.u8string().c_str(), "rb"));
}

// Null when the file is missing or holds no certificate; what OpenSSL queued about it is
// dropped, as a missing file is an answer here, not an error.
X509Ptr readCertificate(BIO* file) {
    X509Ptr certificate(file ? PEM_read_bio_X509(file, nullptr, nullptr, nullptr) : nullptr);
    ERR_clear_error();
    return certificate;
}

std::vector<X509Ptr> readCertificates(const fs::path& path) {
    const BioPtr file = readFile(path);
    std::vector<X509Ptr> certificates;
    while (X509Ptr certificate = readCertificate(file.get())) {
        certificates.push_back(std::move(certificate));
    }
    return certificates;
}

KeyPtr readKey(const fs::path& path) {
    const BioPtr file = readFile(path);
    KeyPtr key(file ? PEM_read_bio_PrivateKey(file.get(), nullptr, nullptr, nullptr) : nullptr);
    ERR_clear_error();
    return key;
}

bool verifiesForLocalhost(X509* server, X509* authority, std::time_t moment) {
    const StorePtr store(checked(X509_STORE_new(), "making a certificate store"));
    checked(X509_STORE_add_cert(store.get(), authority), "adding the authority");
    const StoreContextPtr context(checked(X509_STORE_CTX_new(), "making a verification"));
    checked(X509_STORE_CTX_init(context.get(), store.get(), server, nullptr),
            "starting a verification");
    X509_VERIFY_PARAM* parameters = X509_STORE_CTX_get0_param(context.get());
    X509_VERIFY_PARAM_set_time(parameters, moment);
    checked(X509_VERIFY_PARAM_set1_host(parameters, "localhost", 0), "naming the host");
    checked(X509_STORE_CTX_set_purpose(context.get(), X509_PURPOSE_SSL_SERVER),
            "setting the purpose");
    const bool verified = X509_verify_cert(context.get()) == 1;
    ERR_clear_error();
    return verified;
}

// What write puts into a memory buffer, as text.
template <typename Write> std::string pemText(Write write, const char* step) {
    const BioPtr memory(checked(BIO_new(BIO_s_mem()), "making a buffer"));
    checked(write(memory.get()), step);
    char* data = nullptr;
    const long length = BIO_get_mem_data(memory.get(), &data);
    return std::string(data, static_cast<std::size_t>(length));
}

std::string pem(X509* certificate) {
    return pemText([certificate](BIO* out) { return PEM_write_bio_X509(out, certificate); },
                   "writing a certificate");
}

std::string pem(EVP_PKEY* key) {
    return pemText(
        [key](BIO* out) {
            return PEM_write_bio_PrivateKey(out, key, nullptr, nullptr, 0, nullptr, nullptr);
        },
        "writing the key");
}

void writeNewFile(const fs::path& path, const std::string& content, bool ownerOnly) {
    platform::writeFileToDisk(path.native(), content,
                              ownerOnly ? platform::FileAccess::OwnerOnly
                                        : platform::FileAccess::Shared);
}

void renameOnDisk(const fs::path& from, const fs::path& to) {
    platform::renameOnDisk(from.native(), to.native());
}

fs::path pending(fs::path path) {
    return path += ".new";
}

struct PendingFile {
    fs::path path;
    std::string content;
    bool ownerOnly;
};

void removeIfThere(const fs::path& path) {
    std::error_code ignored;
    fs::remove(path, ignored);
}

void writeAll(const fs::path& folder, const std::vector<PendingFile>& files) {
    fs::create_directories(folder);
    try {
        for (const PendingFile& file : files) {
            writeNewFile(pending(file.path), file.content, file.ownerOnly);
        }
    } catch (...) {
        // No copy of the key may stay behind beside the files that are kept.
        for (const PendingFile& file : files) {
            removeIfThere(pending(file.path));
        }
        throw;
    }
    for (const PendingFile& file : files) {
        renameOnDisk(pending(file.path), file.path);
    }
}

} // namespace

CertificateFolder::CertificateFolder(fs::path folder) : folder(std::move(folder)) {}

X509Ptr CertificateFolder::server() const {
    const BioPtr chain = readFile(folder / serverCertificateName);
    return readCertificate(chain.get());
}

bool CertificateFolder::keyMatches(X509* server) const {
    const KeyPtr key = readKey(folder / serverKeyName);
    const bool matches = key && X509_check_private_key(server, key.get()) == 1;
    ERR_clear_error();
    return matches;
}

bool CertificateFolder::hasPair() const {
    const X509Ptr certificate = server();
    return certificate && keyMatches(certificate.get());
}

bool CertificateFolder::pairValidAt(std::time_t moment) const {
    const X509Ptr certificate = server();
    const X509Ptr authorityCertificate = authority();
    return certificate && authorityCertificate && keyMatches(certificate.get()) &&
           verifiesForLocalhost(certificate.get(), authorityCertificate.get(), moment);
}

X509Ptr CertificateFolder::authority() const {
    const BioPtr file = readFile(folder / authorityName);
    return readCertificate(file.get());
}

std::vector<X509Ptr> CertificateFolder::replacedAuthorities() const {
    return readCertificates(folder / replacedName);
}

void CertificateFolder::keepReplaced(X509* replaced) const {
    std::string kept;
    for (const X509Ptr& earlier : replacedAuthorities()) {
        kept += pem(earlier.get());
    }
    writeAll(folder, {{folder / replacedName, kept + pem(replaced), false}});
}

void CertificateFolder::forgetReplaced() const {
    fs::remove(folder / replacedName);
}

bool CertificateFolder::interrupted() const {
    for (const char* name : {serverKeyName, serverCertificateName, authorityName}) {
        if (fs::exists(pending(folder / name))) {
            return true;
        }
    }
    return false;
}

// The key is renamed first. While its new file is there, the renames have not begun and
// the new files may be incomplete, so they go; once it is gone, the others were written
// whole and follow it.
void CertificateFolder::recover() const {
    const bool renamesBegun = !fs::exists(pending(folder / serverKeyName));
    for (const char* name : {serverKeyName, serverCertificateName, authorityName}) {
        const fs::path file = folder / name;
        if (!fs::exists(pending(file))) {
            continue;
        }
        if (renamesBegun) {
            renameOnDisk(pending(file), file);
        } else {
            fs::remove(pending(file));
        }
    }
}

void CertificateFolder::write(X509* server, X509* authority, EVP_PKEY* serverKey) const {
    recover();
    writeAll(folder, {
                         {folder / serverKeyName, pem(serverKey), true},
                         {folder / serverCertificateName, pem(server) + pem(authority), false},
                         {folder / authorityName, pem(authority), false},
                     });
}

} // namespace certificate
