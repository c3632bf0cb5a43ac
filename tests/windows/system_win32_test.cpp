#include "platform/serial_ports.h"
#include "platform/system_version.h"

#include <gtest/gtest.h>
#include <string>

namespace {

TEST(SystemVersion, IsAVersionOfWindowsNT) {
    // Every Windows the program runs on reports 6.x or later; 0.0 would be a failed query.
    EXPECT_GE(platform::systemVersion().major, 6u);
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
