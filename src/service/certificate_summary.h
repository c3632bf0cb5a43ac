// Who the program's certificate is for and when it is valid, for the program's own page.
#ifndef SERVICE_CERTIFICATE_SUMMARY_H
#define SERVICE_CERTIFICATE_SUMMARY_H

#include <ctime>
#include <string>

struct CertificateSummary {
    std::string subject;   // e.g. "CN=localhost"
    std::string expires;   // the end of its validity, ISO 8601 in UTC
    std::time_t end = 0;   // the same moment
    std::string validFrom; // the start of its validity, ISO 8601 in UTC
    std::time_t start = 0; // the same moment

    // Whether browsers accept it at now by its dates; one made while the clock ran ahead is
    // not valid yet.
    bool validAt(std::time_t now) const;

    // Whole days from now until the end; negative once it has passed.
    long daysLeft(std::time_t now) const;
};

// The first certificate of a PEM chain file. Throws std::runtime_error when the file holds
// none.
CertificateSummary readCertificateSummary(const std::string& chainFile);

#endif
