#include "platform/local_time.h"
#include "platform/serial_ports.h"
#include "platform/system_version.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <string>

namespace {

using ::testing::MatchesRegex;

TEST(SystemVersion, IsAVersionOfWindowsNT) {
    // Every Windows the program runs on reports 6.x or later; 0.0 would be a failed query.
    EXPECT_GE(platform::systemVersion().major, 6u);
}

TEST(LocalTime, CtimeTextHasTheCRuntimeFormWithoutLineFeed) {
    EXPECT_THAT(platform::ctimeNow(),
                MatchesRegex("(Sun|Mon|Tue|Wed|Thu|Fri|Sat) "
                             "(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
                             "[ 123][0-9] [0-2][0-9]:[0-5][0-9]:[0-6][0-9] [0-9]{4}"));
}

TEST(LocalTime, BrokenDownTimeAgreesWithTheCtimeText) {
    const std::tm before = platform::localTimeNow();
    const std::string text = platform::ctimeNow();
    const std::tm after = platform::localTimeNow();
    const std::string year = text.substr(text.size() - 4);
    EXPECT_TRUE(year == std::to_string(before.tm_year + 1900) ||
                year == std::to_string(after.tm_year + 1900))
        << text;
    EXPECT_GE(before.tm_mon, 0);
    EXPECT_LE(before.tm_mon, 11);
}

TEST(SerialPorts, ComNamesBecomeDeviceNamespacePaths) {
    EXPECT_EQ(platform::serialDevicePath("COM1"), "\\\\.\\COM1");
    EXPECT_EQ(platform::serialDevicePath("COM24"), "\\\\.\\COM24");
    EXPECT_EQ(platform::serialDevicePath("com3"), "\\\\.\\COM3");
}

TEST(SerialPorts, OtherTextsNameADeviceDirectly) {
    EXPECT_EQ(platform::serialDevicePath("\\\\.\\USBSER000"), "\\\\.\\USBSER000");
    EXPECT_EQ(platform::serialDevicePath("COM"), "COM");
    EXPECT_EQ(platform::serialDevicePath("COMX"), "COMX");
    EXPECT_EQ(platform::serialDevicePath("tcp://printer:6666"), "tcp://printer:6666");
}

TEST(SerialPorts, NoPortHasANumberBelowOne) {
    EXPECT_FALSE(platform::serialPortPresent(0));
    EXPECT_FALSE(platform::serialPortPresent(-1));
}

} // namespace
