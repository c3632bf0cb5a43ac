#include "service/certificate_summary.h"
#include <ctime>
#include <memory>
#include <openssl/bio.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <stdexcept>

namespace {

constexpr std::time_t secondsPerDay = 24 * 60 * 60;

using Bio = std::unique_ptr<BIO, decltype(&BIO_free)>;
using Certificate = std::unique_ptr<X509, decltype(&X509_free)>;

std::string subjectText(const X509& certificate) {
    Bio text(BIO_new(BIO_s_mem()), BIO_free);
    // RFC 2253 form with UTF-8 kept as it is, not escaped.
    X509_NAME_print_ex(text.get(), X509_get_subject_name(&certificate), 0,
                       XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
    char* data = nullptr;
    const long length = BIO_get_mem_data(text.get(), &data);
    return std::string(data, static_cast<size_t>(length));
}

std::string isoText(const ASN1_TIME* moment) {
    std::tm time{};
    if (ASN1_TIME_to_tm(moment, &time) != 1) {
        throw std::runtime_error("the certificate's dates cannot be read");
    }
    char text[sizeof "2000-01-01T00:00:00Z"];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &time);
    return text;
}

// As a distance from now, which needs no conversion from calendar time in UTC (the C library
// of Windows has none).
std::time_t timeOf(const ASN1_TIME* moment) {
    int days = 0;
    int seconds = 0;
    if (ASN1_TIME_diff(&days, &seconds, nullptr, moment) != 1) {
        throw std::runtime_error("the certificate's dates cannot be read");
    }
    return std::time(nullptr) + static_cast<std::time_t>(days) * secondsPerDay + seconds;
}

} // namespace

bool CertificateSummary::validAt(std::time_t now) const {
    return start <= now && now <= end;
}

long CertificateSummary::daysLeft(std::time_t now) const {
    const std::time_t left = end - now;
    return static_cast<long>(left >= 0 ? left / secondsPerDay
                                       : -((-left + secondsPerDay - 1) / secondsPerDay));
}

CertificateSummary readCertificateSummary(const std::string& chainFile) {
    Bio file(BIO_new_file(chainFile.c_str(), "r"), BIO_free);
    if (!file) {
        throw std::runtime_error("cannot open the certificate file " + chainFile);
    }
    Certificate certificate(PEM_read_bio_X509(file.get(), nullptr, nullptr, nullptr), X509_free);
    if (!certificate) {
        throw std::runtime_error("no certificate in " + chainFile);
    }
    return {subjectText(*certificate), isoText(X509_get0_notAfter(certificate.get())),
            timeOf(X509_get0_notAfter(certificate.get())),
            isoText(X509_get0_notBefore(certificate.get())),
            timeOf(X509_get0_notBefore(certificate.get()))};
}
