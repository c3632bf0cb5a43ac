#include "platform/local_time.h"
#include "platform/serial_ports.h"
#include "platform/system_version.h"

#include <gtest/gtest.h>
#include <regex>
#include <string>

namespace {

TEST(SystemVersion, IsAVersionOfWindowsNT) {
    // Every Windows the program runs on reports 6.x or later; 0.0 would be a failed query.
    EXPECT_GE(platform::systemVersion().major, 6u);
}

// The C library's form, with the day padded by a space: the Windows C runtime's own ctime
// text pads it with a zero.
TEST(LocalTime, CtimeTextHasTheCLibraryFormWithoutLineFeed) {
    const std::string text = platform::ctimeNow();
    EXPECT_TRUE(std::regex_match(
        text, std::regex("(Sun|Mon|Tue|Wed|Thu|Fri|Sat) "
                         "(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
                         "( [1-9]|[12][0-9]|3[01]) [0-2][0-9]:[0-5][0-9]:[0-6][0-9] "
                         "[0-9]{4}")))
        << text;
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

TEST(SerialPorts, NoPortHasANumberBelowOne) {
    EXPECT_FALSE(platform::serialPortPresent(0));
    EXPECT_FALSE(platform::serialPortPresent(-1));
}

} // namespace
