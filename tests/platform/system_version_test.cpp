#include "platform/system_version.h"

#include <gtest/gtest.h>
#include <sys/utsname.h>

namespace {

void expectVersion(const std::string& release, unsigned major, unsigned minor) {
    const platform::SystemVersion version = platform::parseKernelRelease(release);
    EXPECT_EQ(version.major, major) << release;
    EXPECT_EQ(version.minor, minor) << release;
}

TEST(KernelReleaseTest, DistributionSuffixIsIgnored) {
    expectVersion("6.1.0-18-amd64", 6, 1);
}

TEST(KernelReleaseTest, TwoDigitMinorIsKept) {
    expectVersion("5.15.153.1-microsoft", 5, 15);
}

TEST(KernelReleaseTest, TextWithoutMajorAndMinorGivesZero) {
    expectVersion("", 0, 0);
    expectVersion("6", 0, 0);
    expectVersion("linux-6.1", 0, 0);
}

TEST(SystemVersionTest, IsTheRunningKernelsRelease) {
    utsname name{};
    ASSERT_EQ(::uname(&name), 0);
    const platform::SystemVersion version = platform::systemVersion();
    expectVersion(name.release, version.major, version.minor);
    EXPECT_GT(version.major, 0u);
}

} // namespace
