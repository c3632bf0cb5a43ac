// The certificate's check as the tray learns of it, over a real pair in a folder. The
// companion is not beside this test program, so every renewal it tries fails.
#include "app/certificate_renewal.h"
#include "support/temporary_folder.h"
#include "tools/certificate/commands.h"

#include <ctime>
#include <gtest/gtest.h>

namespace {

// A pair of the companion's with `daysLeft` whole days, and an hour, left.
void pairWithDaysLeft(const TemporaryFolder& folder, std::time_t daysLeft) {
    constexpr std::time_t day = 24 * 60 * 60;
    certificate::makeOrKeep(certificate::CertificateFolder(folder.path().string()),
                            std::time(nullptr) - (certificate::validityDays - daysLeft) * day +
                                60 * 60);
}

} // namespace

// The pair is renewed, and the tray told it ends, from 29 days left, not at 30.
TEST(CertificateRenewal, RenewsWithinThirtyDaysOfTheEnd) {
    for (const auto& [daysLeft, ending] : {std::pair<std::time_t, bool>{30, false}, {29, true}}) {
        TemporaryFolder folder;
        pairWithDaysLeft(folder, daysLeft);
        const CertificateRenewal::Outcome outcome = CertificateRenewal(folder.path()).check();
        EXPECT_EQ(outcome.daysLeft, daysLeft);
        EXPECT_EQ(outcome.ending, ending) << daysLeft;
        EXPECT_EQ(outcome.renewalFailed, ending) << daysLeft;
    }
}

// A renewal that failed before the server listened is told at the first check only.
TEST(CertificateRenewal, FailureBeforeListeningIsToldOnce) {
    TemporaryFolder folder;
    pairWithDaysLeft(folder, -1);
    CertificateRenewal renewal(folder.path());
    renewal.beforeListening();
    EXPECT_TRUE(renewal.check().renewalFailed);
    EXPECT_FALSE(renewal.check().renewalFailed);
}

// A pair that the server has not confirmed serving is offered again at every check, until it
// has: a reload that failed is tried again.
TEST(CertificateRenewal, NewPairIsOfferedUntilServed) {
    TemporaryFolder folder;
    pairWithDaysLeft(folder, 300);
    CertificateRenewal renewal(folder.path());
    renewal.beforeListening();
    EXPECT_FALSE(renewal.check().pairChanged);
    boost::filesystem::remove(folder.path() / "server.crt");
    pairWithDaysLeft(folder, 200);
    EXPECT_TRUE(renewal.check().pairChanged);
    EXPECT_TRUE(renewal.check().pairChanged);
    renewal.served();
    EXPECT_FALSE(renewal.check().pairChanged);
}
