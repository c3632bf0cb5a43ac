#include "app/certificate_renewal.h"

#include "app/companion_run.h"
#include "certificate/terms.h"
#include "platform/app_data.h"
#include "service/certificate_summary.h"

#include <boost/filesystem/operations.hpp>
#include <boost/log/trivial.hpp>
#include <exception>
#include <utility>

namespace {

constexpr std::time_t secondsPerDay = 24 * 60 * 60;

#ifdef _WIN32
constexpr const char* companionName = "fiscal-printer-proxy-certificate.exe";
#else
constexpr const char* companionName = "fiscal-printer-proxy-certificate";
#endif

// Beside the program (Windows, the build), or where the Debian package puts it.
boost::filesystem::path companion() {
    const boost::filesystem::path here = platform::executableFolder();
    const boost::filesystem::path beside = here / companionName;
    if (boost::filesystem::exists(beside))
        return beside;
    return here / ".." / "lib" / "fiscal-printer-proxy" / companionName;
}

// The companion's output as one log line.
std::string oneLine(std::string text) {
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    for (char& character : text)
        if (character == '\n')
            character = ' ';
    return text;
}

} // namespace

CertificateRenewal::CertificateRenewal(const boost::filesystem::path& folder)
    : folder(std::filesystem::path(folder.native())) {}

CertificateRenewal::~CertificateRenewal() = default;

// The pair renewed here is served from the start; the first check still finds it new, so
// that the authority it replaced leaves the stores once the server runs.
void CertificateRenewal::beforeListening() {
    servedEnd = serverEnd();
    if (renewedByTask())
        return;
    try {
        const platform::FileLock lock = folder.lock();
        folder.recover();
    } catch (const std::exception& error) {
        BOOST_LOG_TRIVIAL(error) << "Finishing the certificate files' interrupted write failed: "
                                 << error.what();
    }
    const std::string why = problemNow();
    if (!why.empty())
        failedBeforeCheck = !renew(why);
}

// A day by the calendar clock: a computer that sleeps at night does not count its sleep on a
// steady clock, so a wait of 24 steady hours could last days.
bool CertificateRenewal::attemptDue() const {
    const std::time_t now = std::time(nullptr);
    // Also when the clock was put back.
    return !lastAttempt || now < *lastAttempt || now - *lastAttempt >= secondsPerDay;
}

CertificateRenewal::Outcome CertificateRenewal::check() {
    Outcome outcome;
    outcome.renewalFailed = std::exchange(failedBeforeCheck, false);
    if (running && running->waitFor(std::chrono::milliseconds(0)))
        outcome.renewalFailed = !renewalEnded();
    const std::string why = renewalReason();
    if (!why.empty() && !running && !renewedByTask() && attemptDue())
        outcome.renewalFailed = !renew(why);
    const std::optional<long> left = daysLeft();
    const std::optional<std::time_t> end = serverEnd();
    outcome.pairChanged = end && end != servedEnd;
    outcome.daysLeft = left.value_or(0);
    outcome.ending = left && *left < certificate::renewalDays;
    outcome.problem = problemNow();
    return outcome;
}

// Windows may ask the user to confirm each removal: it runs beside the program as a renewal
// does, and the program does not wait for it longer.
void CertificateRenewal::served() {
    servedEnd = serverEnd();
    if (renewedByTask())
        return;
    const std::shared_ptr<CompanionRun> run = startCompanion("forget");
    if (!run || !run->waitFor(std::chrono::milliseconds(0)))
        return;
    try {
        const platform::ProgramOutcome ended = run->outcome();
        if (ended.exitCode == certificate::Done)
            BOOST_LOG_TRIVIAL(info)
                << "The replaced certificate authority was removed: " << oneLine(ended.output);
        else
            BOOST_LOG_TRIVIAL(error)
                << "Removing the replaced certificate authority failed: " << oneLine(ended.output);
    } catch (const std::exception& error) {
        BOOST_LOG_TRIVIAL(error) << "Removing the replaced certificate authority failed: "
                                 << error.what();
    }
}

void CertificateRenewal::stop() {
    const std::lock_guard<std::mutex> lock(runs);
    stopping = true;
    if (awaited)
        awaited->abandon();
}

// Null when the program ends or the companion cannot be started (which is logged).
std::shared_ptr<CompanionRun> CertificateRenewal::startCompanion(const char* command) {
    std::shared_ptr<CompanionRun> run;
    try {
        const std::lock_guard<std::mutex> lock(runs);
        if (stopping)
            return nullptr;
        run = std::make_shared<CompanionRun>(
            platform::utf8Name(companion()),
            std::vector<std::string>{command, folder.path().u8string()});
        awaited = run;
    } catch (const std::exception& error) {
        BOOST_LOG_TRIVIAL(error) << "The certificate companion cannot be run: " << error.what();
        return nullptr;
    }
    run->waitFor(startWait);
    return run;
}

bool CertificateRenewal::renewedByTask() const {
    return boost::filesystem::exists(boost::filesystem::path(folder.path().native()) /
                                     "renewed-by-task");
}

// A folder without ca.crt holds a pair that the companion did not make (mkcert's, say): only
// its end is looked at.
std::string CertificateRenewal::problemNow() const {
    if (boost::filesystem::exists(boost::filesystem::path(folder.path().native()) / "ca.crt")) {
        const std::time_t now = std::time(nullptr);
        return folder.problem(now, now);
    }
    const std::optional<long> left = daysLeft();
    return left && *left < 0 ? "it has expired" : "";
}

std::string CertificateRenewal::renewalReason() const {
    const std::string now = problemNow();
    const std::optional<long> left = daysLeft();
    if (!now.empty())
        return now;
    if (left && *left < certificate::renewalDays)
        return "it ends in " + std::to_string(*left) + " days";
    return folder.storesPendingTrust().empty() ? ""
                                               : "browser stores that did not take its "
                                                 "authority are tried again";
}

// The old pair stays whenever this fails: the companion writes the new one only once its
// authority is trusted. True when it succeeded or still runs.
bool CertificateRenewal::renew(const std::string& why) {
    BOOST_LOG_TRIVIAL(info) << "Renewing the certificate: " << why;
    lastAttempt = std::time(nullptr);
    running = startCompanion("renew");
    if (!running)
        return false;
    if (running->waitFor(std::chrono::milliseconds(0)))
        return renewalEnded();
    BOOST_LOG_TRIVIAL(warning) << "The certificate's renewal has not ended after "
                               << startWait.count()
                               << " s (on Windows it may wait for the confirmation of the new "
                                  "authority); the pair there is served meanwhile";
    return true;
}

// Logs how the renewal that has ended went; false when it failed.
bool CertificateRenewal::renewalEnded() {
    const std::shared_ptr<CompanionRun> run = std::move(running);
    running.reset();
    try {
        const platform::ProgramOutcome ended = run->outcome();
        if (ended.exitCode == certificate::Done) {
            BOOST_LOG_TRIVIAL(info) << "Certificate renewed: " << oneLine(ended.output);
            return true;
        }
        BOOST_LOG_TRIVIAL(error) << "The certificate was not renewed, the old one is kept and "
                                    "the renewal is tried again tomorrow: "
                                 << oneLine(ended.output);
    } catch (const std::exception& error) {
        BOOST_LOG_TRIVIAL(error) << "The certificate was not renewed, the old one is kept and "
                                    "the renewal is tried again tomorrow: "
                                 << error.what();
    }
    return false;
}

std::optional<std::time_t> CertificateRenewal::serverEnd() const {
    try {
        return readCertificateSummary((folder.path() / "server.crt").u8string()).end;
    } catch (const std::runtime_error&) {
        // No certificate to renew; the listener reports the file when it loads it.
        return std::nullopt;
    }
}

std::optional<long> CertificateRenewal::daysLeft() const {
    const std::optional<std::time_t> end = serverEnd();
    if (!end)
        return std::nullopt;
    CertificateSummary summary;
    summary.end = *end;
    return summary.daysLeft(std::time(nullptr));
}
