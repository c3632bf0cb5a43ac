#include "certificate_folder.h"

#include <cerrno>
#include <fstream>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <system_error>
#include <vector>
#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace certificate {

namespace fs = std::filesystem;

namespace {

constexpr const char* serverCertificateName = "server.crt";
constexpr const char* serverKeyName = "server.key";
constexpr const char* authorityName = "ca.crt";

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

// A new file with content; on POSIX an owner-only file never has a wider mode, not even
// while it is empty. On Windows the folder's own permissions (the user's profile) apply.
void writeNewFile(const fs::path& path, const std::string& content, bool ownerOnly) {
    fs::remove(path);
#ifdef _WIN32
    (void)ownerOnly;
    std::ofstream file(path, std::ios::binary);
    file.write(content.data(), static_cast<std::streamsize>(content.size()));
    file.close();
    if (!file) {
        throw std::runtime_error("cannot write " + path.u8string());
    }
#else
    const int descriptor =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, ownerOnly ? 0600 : 0644);
    if (descriptor < 0) {
        throw std::system_error(errno, std::generic_category(), "cannot create " + path.u8string());
    }
    std::size_t written = 0;
    while (written < content.size()) {
        const ssize_t count =
            ::write(descriptor, content.data() + written, content.size() - written);
        if (count < 0 && errno != EINTR) {
            const int error = errno;
            ::close(descriptor);
            throw std::system_error(error, std::generic_category(),
                                    "cannot write " + path.u8string());
        }
        written += count > 0 ? static_cast<std::size_t>(count) : 0;
    }
    if (::close(descriptor) != 0) {
        throw std::system_error(errno, std::generic_category(), "cannot write " + path.u8string());
    }
#endif
}

fs::path withSuffix(fs::path path, const char* suffix) {
    return path += suffix;
}

struct PendingFile {
    fs::path path;
    std::string content;
    bool ownerOnly;
};

} // namespace

CertificateFolder::CertificateFolder(fs::path folder) : folder(std::move(folder)) {}

bool CertificateFolder::pairValidAt(std::time_t moment) const {
    const BioPtr chain = readFile(folder / serverCertificateName);
    const X509Ptr server = readCertificate(chain.get());
    const KeyPtr key = readKey(folder / serverKeyName);
    const X509Ptr authorityCertificate = authority();
    if (!server || !key || !authorityCertificate) {
        return false;
    }
    const bool keyMatches = X509_check_private_key(server.get(), key.get()) == 1;
    ERR_clear_error();
    return keyMatches && verifiesForLocalhost(server.get(), authorityCertificate.get(), moment);
}

X509Ptr CertificateFolder::authority() const {
    const BioPtr file = readFile(folder / authorityName);
    return readCertificate(file.get());
}

void CertificateFolder::write(X509* server, X509* authority, EVP_PKEY* serverKey) const {
    const std::vector<PendingFile> files = {
        {folder / serverKeyName, pem(serverKey), true},
        {folder / serverCertificateName, pem(server) + pem(authority), false},
        {folder / authorityName, pem(authority), false},
    };
    fs::create_directories(folder);
    try {
        for (const PendingFile& file : files) {
            writeNewFile(withSuffix(file.path, ".new"), file.content, file.ownerOnly);
        }
    } catch (...) {
        // No copy of the key may stay behind beside the files that are kept.
        for (const PendingFile& file : files) {
            std::error_code ignored;
            fs::remove(withSuffix(file.path, ".new"), ignored);
        }
        throw;
    }
    for (const PendingFile& file : files) {
        fs::rename(withSuffix(file.path, ".new"), file.path);
    }
}

} // namespace certificate
