#include "platform/peer_account.h"
#include "platform/serial_ports.h"
#include "platform/system_version.h"

// Sockets first: windows.h without them pulls in the old Winsock declarations.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <chrono>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

// The owner is learnt through the process that made the other end: a process started after
// the connection was accepted only took the number of one that has ended.
TEST(PeerAccount, AProcessStartedAfterTheConnectionWasAcceptedIsNotItsOwner) {
    WSADATA data;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    const SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof address;
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener, 1), 0);
    ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size), 0);
    const SOCKET client = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    ASSERT_EQ(connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    // Wine learns a socket's owner once its program uses it.
    ASSERT_EQ(send(client, "x", 1, 0), 1);
    const SOCKET served = accept(listener, nullptr, nullptr);
    char echoed = 0;
    ASSERT_EQ(send(served, "x", 1, 0), 1);
    ASSERT_EQ(recv(client, &echoed, 1, 0), 1);
    sockaddr_in local{};
    sockaddr_in peer{};
    size = sizeof local;
    getsockname(served, reinterpret_cast<sockaddr*>(&local), &size);
    size = sizeof peer;
    getpeername(served, reinterpret_cast<sockaddr*>(&peer), &size);
    const auto now = std::chrono::system_clock::now();
    const struct {
        std::chrono::system_clock::time_point accepted;
        platform::PeerAccount::Owner owner;
    } rows[] = {
        {now, platform::PeerAccount::Owner::ThisAccount},
        {now - std::chrono::hours(24), platform::PeerAccount::Owner::Unknown},
    };
    for (const auto& row : rows) {
        const platform::PeerAccount account = platform::peerAccount(
            reinterpret_cast<sockaddr&>(local), reinterpret_cast<sockaddr&>(peer), row.accepted);
        EXPECT_EQ(account.owner, row.owner) << account.name;
    }
    closesocket(served);
    closesocket(client);
    closesocket(listener);
    WSACleanup();
}

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
