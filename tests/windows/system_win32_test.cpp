#include "platform/serial_ports.h"
#include "platform/system_version.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

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

// A driver that keeps data of its own after the COMMCONFIG record (provider data): it
// answers only when given room for all of it, and says how much it needs.
constexpr DWORD largerRecordSize = sizeof(COMMCONFIG) + 64;
std::vector<DWORD> sizesAsked;

BOOL WINAPI largerRecordQuery(LPCWSTR name, LPCOMMCONFIG config, LPDWORD size) {
    sizesAsked.push_back(*size);
    if (std::wstring(name) != L"COM7") {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    if (*size < largerRecordSize) {
        *size = largerRecordSize;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memset(config, 0xAB, largerRecordSize);
    return TRUE;
}

TEST(SerialPorts, DriverNeedingALargerRecordIsAskedAgainWithTheSizeItReports) {
    sizesAsked.clear();
    EXPECT_TRUE(platform::commConfigReadable(L"COM7", largerRecordQuery));
    EXPECT_EQ(sizesAsked, (std::vector<DWORD>{sizeof(COMMCONFIG), largerRecordSize}));

    sizesAsked.clear();
    EXPECT_FALSE(platform::commConfigReadable(L"COM8", largerRecordQuery));
    EXPECT_EQ(sizesAsked.size(), 1u);
}

TEST(SerialPorts, NoPortHasANumberBelowOne) {
    EXPECT_FALSE(platform::serialPortPresent(0));
    EXPECT_FALSE(platform::serialPortPresent(-1));
}

} // namespace
