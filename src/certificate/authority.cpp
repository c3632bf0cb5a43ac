#include "certificate/authority.h"

#include <cstdio>
#include <openssl/bn.h>
#include <openssl/rand.h>
#include <set>

namespace certificate {

namespace {

std::string hex(const unsigned char* bytes, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02X", bytes[i]);
        text += digits;
    }
    return text;
}

bool isIpv6(const std::string& address) {
    return address.find(':') != std::string::npos;
}

// "DNS:localhost,IP:127.0.0.1,...", for the subject alternative names.
std::string generalNames(const ServerNames& names) {
    std::string text;
    for (const std::string& name : names.dnsNames) {
        text += (text.empty() ? "DNS:" : ",DNS:") + name;
    }
    for (const std::string& address : names.ipAddresses) {
        text += (text.empty() ? "IP:" : ",IP:") + address;
    }
    return text;
}

// A single address as a subtree: the address with a full mask.
std::string singleAddress(const std::string& address) {
    return address + "/" +
           (isIpv6(address) ? "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff" : "255.255.255.255");
}

// Each name and each single address is a permitted subtree; the extension is critical, so a
// verifier that cannot honour it refuses the chain instead of ignoring it.
std::string nameConstraints(const ServerNames& names) {
    std::string text = "critical";
    for (const std::string& name : names.dnsNames) {
        text += ",permitted;DNS:" + name;
    }
    for (const std::string& address : names.ipAddresses) {
        text += ",permitted;IP:" + singleAddress(address);
    }
    return text;
}

std::string octetsHex(const ASN1_OCTET_STRING* octets) {
    return hex(ASN1_STRING_get0_data(octets), static_cast<std::size_t>(ASN1_STRING_length(octets)));
}

// A subtree's base as text that compares equal for equal subtrees; other kinds of names
// never match a permitted name of ours.
std::string subtreeText(const GENERAL_SUBTREE* subtree) {
    const GENERAL_NAME* base = subtree->base;
    if (subtree->minimum != nullptr || subtree->maximum != nullptr) {
        return "limited";
    }
    if (base->type == GEN_DNS) {
        return "DNS:" +
               std::string(reinterpret_cast<const char*>(ASN1_STRING_get0_data(base->d.dNSName)),
                           static_cast<std::size_t>(ASN1_STRING_length(base->d.dNSName)));
    }
    return base->type == GEN_IPADD ? "IP:" + octetsHex(base->d.iPAddress) : "other";
}

std::set<std::string> permittedTexts(const ServerNames& names) {
    std::set<std::string> texts;
    for (const std::string& name : names.dnsNames) {
        texts.insert("DNS:" + name);
    }
    for (const std::string& address : names.ipAddresses) {
        const std::unique_ptr<ASN1_OCTET_STRING,
                              OpenSslFree<ASN1_OCTET_STRING, ASN1_OCTET_STRING_free>>
            octets(checked(a2i_IPADDRESS_NC(singleAddress(address).c_str()), "reading an address"));
        texts.insert("IP:" + octetsHex(octets.get()));
    }
    return texts;
}

std::string constraintsReason(X509* authority) {
    int critical = 0;
    const std::unique_ptr<NAME_CONSTRAINTS, OpenSslFree<NAME_CONSTRAINTS, NAME_CONSTRAINTS_free>>
        constraints(static_cast<NAME_CONSTRAINTS*>(
            X509_get_ext_d2i(authority, NID_name_constraints, &critical, nullptr)));
    if (!constraints || critical != 1) {
        return "it has no critical name constraints";
    }
    if (sk_GENERAL_SUBTREE_num(constraints->excludedSubtrees) > 0) {
        return "its name constraints exclude names instead of permitting only localhost's";
    }
    std::set<std::string> permitted;
    for (int i = 0; i < sk_GENERAL_SUBTREE_num(constraints->permittedSubtrees); ++i) {
        permitted.insert(subtreeText(sk_GENERAL_SUBTREE_value(constraints->permittedSubtrees, i)));
    }
    return permitted == permittedTexts(localhostNames())
               ? std::string()
               : "its name constraints permit other names than localhost, 127.0.0.1 and ::1";
}

void addExtension(X509* certificate, X509* issuer, int nid, const std::string& value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    const ExtensionPtr extension(checked(
        X509V3_EXT_nconf_nid(nullptr, &context, nid, value.c_str()), "making an extension"));
    checked(X509_add_ext(certificate, extension.get(), -1), "adding an extension");
}

void addNameEntry(X509_NAME* name, const char* field, const std::string& value) {
    checked(X509_NAME_add_entry_by_txt(name, field, MBSTRING_UTF8,
                                       reinterpret_cast<const unsigned char*>(value.c_str()), -1,
                                       -1, 0),
            "naming a certificate");
}

std::string randomHex(std::size_t bytes) {
    std::vector<unsigned char> random(bytes);
    checked(RAND_bytes(random.data(), static_cast<int>(random.size())), "drawing random bytes");
    return hex(random.data(), random.size());
}

// A version 3 certificate for subjectKey with a random positive serial number, not yet
// signed.
X509Ptr newCertificate(EVP_PKEY* subjectKey, const Validity& validity) {
    X509Ptr certificate(checked(X509_new(), "making a certificate"));
    checked(X509_set_version(certificate.get(), X509_VERSION_3), "setting the version");
    const std::unique_ptr<BIGNUM, OpenSslFree<BIGNUM, BN_free>> serial(
        checked(BN_new(), "making a serial number"));
    checked(BN_rand(serial.get(), 127, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY),
            "drawing a serial number");
    checked(BN_to_ASN1_INTEGER(serial.get(), X509_get_serialNumber(certificate.get())),
            "setting the serial number");
    checked(ASN1_TIME_set(X509_getm_notBefore(certificate.get()), validity.notBefore),
            "setting the start of validity");
    checked(ASN1_TIME_set(X509_getm_notAfter(certificate.get()), validity.notAfter),
            "setting the end of validity");
    checked(X509_set_pubkey(certificate.get(), subjectKey), "setting the public key");
    return certificate;
}

} // namespace

std::string foreignAuthorityReason(X509* authority) {
    int critical = 0;
    const std::unique_ptr<BASIC_CONSTRAINTS, OpenSslFree<BASIC_CONSTRAINTS, BASIC_CONSTRAINTS_free>>
        basic(static_cast<BASIC_CONSTRAINTS*>(
            X509_get_ext_d2i(authority, NID_basic_constraints, &critical, nullptr)));
    if (!basic || critical != 1 || basic->ca == 0 || X509_get_pathlen(authority) != 0) {
        return "it is not an authority limited to a path length of 0";
    }
    return constraintsReason(authority);
}

ServerNames localhostNames() {
    return {{"localhost"}, {"127.0.0.1", "::1"}};
}

KeyPtr newKey() {
    return KeyPtr(checked(EVP_EC_gen("P-256"), "making a key"));
}

std::vector<unsigned char> thumbprintBytes(X509* certificate) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    checked(X509_digest(certificate, EVP_sha1(), digest, &length), "computing the thumbprint");
    return std::vector<unsigned char>(digest, digest + length);
}

std::string thumbprint(X509* certificate) {
    const std::vector<unsigned char> digest = thumbprintBytes(certificate);
    return hex(digest.data(), digest.size());
}

std::string commonName(X509* certificate) {
    char name[256];
    const int length = X509_NAME_get_text_by_NID(X509_get_subject_name(certificate), NID_commonName,
                                                 name, sizeof name);
    return length > 0 ? std::string(name, static_cast<std::size_t>(length)) : std::string();
}

CertificateAuthority::CertificateAuthority(const ServerNames& permitted, const Validity& validity)
    : key(newKey()), authorityCertificate(newCertificate(key.get(), validity)), validity(validity) {
    X509* certificate = authorityCertificate.get();
    X509_NAME* name = X509_get_subject_name(certificate);
    addNameEntry(name, "O", "Trivane");
    // Unique to this authority, so that a user can tell the authorities of two installs apart.
    addNameEntry(name, "CN", "Fiscal printer proxy localhost authority " + randomHex(4));
    checked(X509_set_issuer_name(certificate, name), "setting the issuer");
    addExtension(certificate, certificate, NID_basic_constraints, "critical,CA:TRUE,pathlen:0");
    addExtension(certificate, certificate, NID_key_usage, "critical,keyCertSign,cRLSign");
    addExtension(certificate, certificate, NID_subject_key_identifier, "hash");
    addExtension(certificate, certificate, NID_name_constraints, nameConstraints(permitted));
    checked(X509_sign(certificate, key.get(), EVP_sha256()), "signing the authority");
}

X509Ptr CertificateAuthority::issue(const ServerNames& names, EVP_PKEY* serverKey) const {
    X509Ptr server = newCertificate(serverKey, validity);
    X509* certificate = server.get();
    X509_NAME* name = X509_get_subject_name(certificate);
    addNameEntry(name, "CN", names.dnsNames.empty() ? names.ipAddresses.at(0) : names.dnsNames[0]);
    checked(X509_set_issuer_name(certificate, X509_get_subject_name(authorityCertificate.get())),
            "setting the issuer");
    X509* issuer = authorityCertificate.get();
    addExtension(certificate, issuer, NID_basic_constraints, "critical,CA:FALSE");
    addExtension(certificate, issuer, NID_key_usage, "critical,digitalSignature");
    addExtension(certificate, issuer, NID_ext_key_usage, "serverAuth");
    addExtension(certificate, issuer, NID_subject_key_identifier, "hash");
    addExtension(certificate, issuer, NID_authority_key_identifier, "keyid:always");
    addExtension(certificate, issuer, NID_subject_alt_name, generalNames(names));
    checked(X509_sign(certificate, key.get(), EVP_sha256()), "signing the server certificate");
    return server;
}

} // namespace certificate
