#include "app/certificate_renewal.h"

#include "commands.h"
#include "platform/app_data.h"
#include "platform/run_and_wait.h"
#include "service/certificate_summary.h"

#include <boost/filesystem/operations.hpp>
#include <boost/log/trivial.hpp>
#include <exception>

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

void CertificateRenewal::beforeListening() {
    if (!renewedByTask()) {
        try {
            folder.recover();
        } catch (const std::exception& error) {
            BOOST_LOG_TRIVIAL(error) << "Finishing the certificate files' interrupted write "
                                        "failed: "
                                     << error.what();
        }
        // The pair renewed here is served from the start; the first check still finds it
        // new, so that the authority it replaced leaves the stores once the server runs.
        servedEnd = serverEnd();
        const std::optional<long> left = daysLeft();
        if (left && *left < 0)
            renew("it has expired");
        return;
    }
    servedEnd = serverEnd();
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
    std::optional<long> left = daysLeft();
    if (left && *left < certificate::renewalDays && !renewedByTask() && attemptDue()) {
        outcome.renewalFailed = !renew(("it ends in " + std::to_string(*left) + " days").c_str());
        left = daysLeft();
    }
    const std::optional<std::time_t> end = serverEnd();
    outcome.pairChanged = end != servedEnd;
    servedEnd = end;
    outcome.daysLeft = left.value_or(0);
    outcome.ending = left && *left < certificate::renewalDays;
    return outcome;
}

void CertificateRenewal::retireReplaced() {
    if (renewedByTask())
        return;
    try {
        const platform::ProgramOutcome run = runCompanion("forget");
        if (run.exitCode == certificate::done)
            BOOST_LOG_TRIVIAL(info) << "The replaced certificate authority was removed: "
                                    << oneLine(run.output);
        else
            BOOST_LOG_TRIVIAL(error) << "Removing the replaced certificate authority failed: "
                                     << oneLine(run.output);
    } catch (const std::exception& error) {
        BOOST_LOG_TRIVIAL(error) << "Removing the replaced certificate authority failed: "
                                 << error.what();
    }
}

platform::ProgramOutcome CertificateRenewal::runCompanion(const char* command) const {
    return platform::runAndWait(platform::utf8Name(companion()),
                                {command, folder.path().u8string()});
}

bool CertificateRenewal::renewedByTask() const {
    return boost::filesystem::exists(boost::filesystem::path(folder.path().native()) /
                                     "renewed-by-task");
}

// The old pair stays whenever this fails: the companion writes the new one only once its
// authority is trusted.
bool CertificateRenewal::renew(const char* when) {
    BOOST_LOG_TRIVIAL(info) << "Renewing the certificate: " << when;
    lastAttempt = std::time(nullptr);
    try {
        const platform::ProgramOutcome run = runCompanion("renew");
        if (run.exitCode == certificate::done) {
            BOOST_LOG_TRIVIAL(info) << "Certificate renewed: " << oneLine(run.output);
            return true;
        }
        BOOST_LOG_TRIVIAL(error) << "The certificate was not renewed, the old one is kept and "
                                    "the renewal is tried again tomorrow: "
                                 << oneLine(run.output);
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
    return CertificateSummary{"", "", *end}.daysLeft(std::time(nullptr));
}
