// Keeps the certificate pair in the program's working folder valid for years without anyone's
// help. The pair is made by the companion program (fiscal-printer-proxy-certificate, beside
// the program), which this runs to renew it: a new authority is trusted first, the new pair
// then replaces the old one, and the old authority leaves the stores only once the program
// serves the new pair. Where the installer has left "renewed-by-task" in the folder (a
// machine-wide install, whose pair only administrators may write) a scheduled task renews
// it, and this only notices the new pair.
#ifndef APP_CERTIFICATE_RENEWAL_H
#define APP_CERTIFICATE_RENEWAL_H

#include "certificate/certificate_folder.h"
#include "platform/run_and_wait.h"

#include <boost/filesystem/path.hpp>
#include <chrono>
#include <ctime>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

class CompanionRun;

class CertificateRenewal {
public:
    // What a check found, for the tray.
    struct Outcome {
        bool pairChanged = false; // the files hold another pair than the one served
        long daysLeft = 0;        // until the end of the pair in the files
        bool ending = false;      // within the renewal period, so not renewed
        bool renewalFailed = false;
        std::string problem; // why the pair in the files cannot be served now; empty: it can
    };

    explicit CertificateRenewal(const boost::filesystem::path& folder);
    ~CertificateRenewal();

    // Before the server listens: finishes a write of the pair that was interrupted, and
    // renews a pair that cannot be served now (expired, not valid yet, a key that is not the
    // certificate's, a chain that ca.crt does not verify), so that the first connection gets
    // a valid one. A renewal that waits longer than startWait (Windows' confirmation that
    // nobody answers) goes on beside the server, which serves the pair there is meanwhile.
    void beforeListening();
    // At start and then every hour: renews a pair that ends within the companion's renewal
    // period or cannot be served, and retries the browser stores that did not take the
    // authority, at most once a day. Failures are logged, and the next day's check tries
    // again.
    Outcome check();
    // Once the server serves the pair of the files: the authorities it replaced leave the
    // stores, and the next check compares with this pair.
    void served();
    // A renewal still running is no longer waited for; the program ends without it.
    void stop();

    static constexpr std::chrono::seconds startWait{15};

private:
    bool renewedByTask() const;
    bool attemptDue() const;
    std::string problemNow() const;
    std::string renewalReason() const;
    std::shared_ptr<CompanionRun> startCompanion(const char* command);
    bool renew(const std::string& why);
    bool renewalEnded();
    std::optional<std::time_t> serverEnd() const;
    std::optional<long> daysLeft() const;

    certificate::CertificateFolder folder;
    // The end of the pair the server loaded, to notice a new one.
    std::optional<std::time_t> servedEnd;
    std::optional<std::time_t> lastAttempt;
    // A renewal before listening failed: the first check tells the tray.
    bool failedBeforeCheck = false;
    // A renewal that outlasted its wait, until its end is seen; the checking thread's only.
    std::shared_ptr<CompanionRun> running;
    // The run waited for now, and whether the program ends, for stop().
    std::mutex runs;
    std::shared_ptr<CompanionRun> awaited;
    bool stopping = false;
};

#endif
