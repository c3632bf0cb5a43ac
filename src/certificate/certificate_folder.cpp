#include "certificate/certificate_folder.h"

#include "certificate/authority.h"
#include "platform/durable_file.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <sstream>
#include <vector>

namespace certificate {

namespace fs = std::filesystem;

namespace {

constexpr const char* serverCertificateName = "server.crt";
constexpr const char* serverKeyName = "server.key";
constexpr const char* authorityName = "ca.crt";
constexpr const char* replacedName = "replaced-ca.crt";
constexpr const char* pendingTrustName = "trust-pending";
constexpr const char* lockName = "certificate.lock";
// Written before each authority in replaced-ca.crt; PEM readers skip it.
constexpr const char* replacedAtMark = "Replaced at: ";
constexpr const char* certificateEnd = "-----END CERTIFICATE-----";

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

std::string fileText(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Each authority with the moment written before it.
std::vector<CertificateFolder::Replaced> readReplaced(const std::string& text) {
    std::vector<CertificateFolder::Replaced> found;
    const std::size_t endLength = std::string(certificateEnd).size();
    for (std::size_t from = 0, stop; (stop = text.find(certificateEnd, from)) != std::string::npos;
         from = stop + endLength) {
        const std::string block = text.substr(from, stop + endLength - from);
        const BioPtr memory(BIO_new_mem_buf(block.data(), static_cast<int>(block.size())));
        X509Ptr certificate = readCertificate(memory.get());
        const std::size_t mark = block.find(replacedAtMark);
        const std::time_t at =
            mark == std::string::npos
                ? 0
                : std::strtoll(block.c_str() + mark + std::string(replacedAtMark).size(), nullptr,
                               10);
        if (certificate) {
            found.push_back({std::move(certificate), at});
        }
    }
    return found;
}

KeyPtr readKey(const fs::path& path) {
    const BioPtr file = readFile(path);
    KeyPtr key(file ? PEM_read_bio_PrivateKey(file.get(), nullptr, nullptr, nullptr) : nullptr);
    ERR_clear_error();
    return key;
}

// X509_V_OK, or OpenSSL's reason why server does not verify for localhost at moment.
int verifyForLocalhost(X509* server, X509* authority, std::time_t moment) {
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
    const int error =
        X509_verify_cert(context.get()) == 1 ? X509_V_OK : X509_STORE_CTX_get_error(context.get());
    ERR_clear_error();
    return error;
}

std::string verificationReason(int error) {
    switch (error) {
    case X509_V_OK:
        return "";
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return "server.crt is not valid yet";
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return "server.crt has expired";
    default:
        return std::string("server.crt does not verify against ca.crt: ") +
               X509_verify_cert_error_string(error);
    }
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

void writeOrRemove(const fs::path& path, const std::string& text) {
    if (text.empty()) {
        fs::remove(path);
    } else {
        writeAll(path.parent_path(), {{path, text, false}});
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

std::string CertificateFolder::problem(std::time_t now, std::time_t until) const {
    const X509Ptr certificate = server();
    const X509Ptr authorityCertificate = authority();
    if (!certificate) {
        return "server.crt holds no certificate";
    }
    if (!keyMatches(certificate.get())) {
        return "server.key is not the key of server.crt";
    }
    if (!authorityCertificate) {
        return "ca.crt holds no certificate";
    }
    const std::string foreign = foreignAuthorityReason(authorityCertificate.get());
    if (!foreign.empty()) {
        return "ca.crt is not an authority of this program: " + foreign;
    }
    const std::string reason =
        verificationReason(verifyForLocalhost(certificate.get(), authorityCertificate.get(), now));
    if (!reason.empty() ||
        verifyForLocalhost(certificate.get(), authorityCertificate.get(), until) == X509_V_OK) {
        return reason;
    }
    return "server.crt ends within " + std::to_string((until - now) / (24 * 60 * 60)) + " days";
}

X509Ptr CertificateFolder::authority() const {
    const BioPtr file = readFile(folder / authorityName);
    return readCertificate(file.get());
}

platform::FileLock CertificateFolder::lock() const {
    fs::create_directories(folder);
    return platform::FileLock((folder / lockName).native());
}

std::vector<CertificateFolder::Replaced> CertificateFolder::replacedAuthorities() const {
    return readReplaced(fileText(folder / replacedName));
}

void CertificateFolder::keepReplaced(X509* replaced, std::time_t at) const {
    std::vector<Replaced> kept = replacedAuthorities();
    kept.push_back({X509Ptr(checked(X509_dup(replaced), "copying an authority")), at});
    keepOnlyReplaced(kept);
}

void CertificateFolder::keepOnlyReplaced(const std::vector<Replaced>& still) const {
    std::string text;
    for (const Replaced& replaced : still) {
        text += replacedAtMark + std::to_string(replaced.at) + "\n" + pem(replaced.authority.get());
    }
    writeOrRemove(folder / replacedName, text);
}

std::vector<std::string> CertificateFolder::storesPendingTrust() const {
    std::vector<std::string> stores;
    std::istringstream lines(fileText(folder / pendingTrustName));
    for (std::string line; std::getline(lines, line);) {
        stores.push_back(line);
    }
    return stores;
}

void CertificateFolder::setStoresPendingTrust(const std::vector<std::string>& stores) const {
    std::string text;
    for (const std::string& store : stores) {
        text += store + "\n";
    }
    writeOrRemove(folder / pendingTrustName, text);
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
