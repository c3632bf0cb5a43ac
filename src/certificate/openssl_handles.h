// OpenSSL objects owned by std::unique_ptr, and OpenSSL failures as exceptions.
#ifndef CERTIFICATE_OPENSSL_HANDLES_H
#define CERTIFICATE_OPENSSL_HANDLES_H

#include <memory>
#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <stdexcept>
#include <string>

namespace certificate {

template <typename T, void (*Free)(T*)> struct OpenSslFree {
    void operator()(T* object) const { Free(object); }
};

using KeyPtr = std::unique_ptr<EVP_PKEY, OpenSslFree<EVP_PKEY, EVP_PKEY_free>>;
using X509Ptr = std::unique_ptr<X509, OpenSslFree<X509, X509_free>>;
using ExtensionPtr =
    std::unique_ptr<X509_EXTENSION, OpenSslFree<X509_EXTENSION, X509_EXTENSION_free>>;
using BioPtr = std::unique_ptr<BIO, OpenSslFree<BIO, BIO_free_all>>;
using StorePtr = std::unique_ptr<X509_STORE, OpenSslFree<X509_STORE, X509_STORE_free>>;
using StoreContextPtr =
    std::unique_ptr<X509_STORE_CTX, OpenSslFree<X509_STORE_CTX, X509_STORE_CTX_free>>;

// Thrown when an OpenSSL call fails; the message names the step and OpenSSL's own reason.
class OpenSslError : public std::runtime_error {
public:
    explicit OpenSslError(const std::string& step);
};

// Throw OpenSslError for step unless the call succeeded: a positive result, or a pointer.
inline int checked(int result, const char* step) {
    if (result <= 0) {
        throw OpenSslError(step);
    }
    return result;
}
template <typename T> T* checked(T* result, const char* step) {
    if (result == nullptr) {
        throw OpenSslError(step);
    }
    return result;
}

} // namespace certificate

#endif
