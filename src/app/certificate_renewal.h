// Keeps the certificate pair in the program's working folder valid for years without anyone's
// help. The pair is made by the companion program (fiscal-printer-proxy-certificate, beside
// the program), which this runs to renew it: a new authority is trusted first, the new pair
// then replaces the old one, and the old authority leaves the stores only once the program
// serves the new pair. Where the installer has left "renewed-by-task" in the folder (a
// machine-wide install, whose pair only administrators may write) a scheduled task renews
// it, and this only notices the new pair.
#ifndef APP_CERTIFICATE_RENEWAL_H
#define APP_CERTIFICATE_RENEWAL_H

#include "certificate_folder.h"
#include "platform/run_and_wait.h"

#include <boost/filesystem/path.hpp>
#include <ctime>
#include <optional>
#include <string>

class CertificateRenewal {
public:
    // What a check found, for the tray.
    struct Outcome {
        bool pairChanged = false; // the files hold another pair than the one served
        long daysLeft = 0;        // until the end of the pair in the files
        bool ending = false;      // within the renewal period, so not renewed
        bool renewalFailed = false;
    };

    explicit CertificateRenewal(const boost::filesystem::path& folder);

    // Before the server listens: finishes a write of the pair that was interrupted, and
    // renews a pair that has already expired, so that the first connection gets a valid one.
    void beforeListening();
    // At start and then every hour: renews a pair that ends within the companion's renewal
    // period, at most once a day. Failures are logged, and the next day's check tries again.
    Outcome check();
    // Once the server serves the new pair: the authorities it replaced leave the stores.
    void retireReplaced();

private:
    platform::ProgramOutcome runCompanion(const char* command) const;
    bool renewedByTask() const;
    bool attemptDue() const;
    bool renew(const char* when);
    std::optional<std::time_t> serverEnd() const;
    std::optional<long> daysLeft() const;

    certificate::CertificateFolder folder;
    // The end of the pair the server loaded, to notice a new one.
    std::optional<std::time_t> servedEnd;
    std::optional<std::time_t> lastAttempt;
};

#endif
