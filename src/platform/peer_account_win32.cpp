#include "platform/peer_account.h"

#include "platform/wide_text_win32.h"

// Sockets first: windows.h without them pulls in the old Winsock declarations.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>
#include <iphlpapi.h>
#include <optional>
#include <type_traits>
#include <vector>
#include <windows.h>

namespace platform {

namespace {

struct Handle {
    explicit Handle(HANDLE handle) : handle(handle) {}
    ~Handle() {
        if (handle != nullptr) {
            CloseHandle(handle);
        }
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    HANDLE handle;
};

std::string errorText(const char* step) {
    return std::string(step) + " failed with error " + std::to_string(GetLastError());
}

// The system's table of TCP connections of one address family with the process that owns
// each; it may grow between asking for its size and reading it.
std::vector<char> connectionTable(ULONG family, TCP_TABLE_CLASS kind) {
    std::vector<char> table(16384);
    for (;;) {
        DWORD size = static_cast<DWORD>(table.size());
        const DWORD result = GetExtendedTcpTable(table.data(), &size, FALSE, family, kind, 0);
        if (result == NO_ERROR) {
            return table;
        }
        if (result != ERROR_INSUFFICIENT_BUFFER) {
            return {};
        }
        table.resize(size + 4096);
    }
}

bool sameEnd(DWORD address, DWORD port, const sockaddr& end) {
    sockaddr_in v4;
    std::memcpy(&v4, &end, sizeof v4);
    return address == v4.sin_addr.s_addr && static_cast<USHORT>(port) == v4.sin_port;
}

bool sameEnd(const UCHAR (&address)[16], DWORD port, const sockaddr& end) {
    sockaddr_in6 v6;
    std::memcpy(&v6, &end, sizeof v6);
    return std::memcmp(address, &v6.sin6_addr, 16) == 0 &&
           static_cast<USHORT>(port) == v6.sin6_port;
}

template <typename Row>
auto connects(const Row& row, const sockaddr& own, const sockaddr& other)
    -> decltype(row.dwLocalAddr, bool()) {
    return sameEnd(row.dwLocalAddr, row.dwLocalPort, own) &&
           sameEnd(row.dwRemoteAddr, row.dwRemotePort, other);
}

template <typename Row>
auto connects(const Row& row, const sockaddr& own, const sockaddr& other)
    -> decltype(row.ucLocalAddr, bool()) {
    return sameEnd(row.ucLocalAddr, row.dwLocalPort, own) &&
           sameEnd(row.ucRemoteAddr, row.dwRemotePort, other);
}

// The row of `kind` whose own end is `own` and other end `other`; none when the system has no
// such socket or its table cannot be read.
template <typename Table>
auto findRow(ULONG family, TCP_TABLE_CLASS kind, const sockaddr& own, const sockaddr& other)
    -> std::optional<std::decay_t<decltype(Table::table[0])>> {
    const std::vector<char> table = connectionTable(family, kind);
    if (table.empty()) {
        return std::nullopt;
    }
    const auto* rows = reinterpret_cast<const Table*>(table.data());
    for (DWORD index = 0; index < rows->dwNumEntries; ++index) {
        if (connects(rows->table[index], own, other)) {
            return rows->table[index];
        }
    }
    return std::nullopt;
}

template <typename Table>
std::optional<DWORD> owningProcessIn(ULONG family, TCP_TABLE_CLASS kind, const sockaddr& own,
                                     const sockaddr& other) {
    const auto row = findRow<Table>(family, kind, own, other);
    return row ? std::optional<DWORD>(row->dwOwningPid) : std::nullopt;
}

// The process that owns the connection whose own end is `own` and other end `other`; none
// when the system has no such connection. A connection closed and waiting out its time is
// owned by process 0, and so, under Wine, is one of a program that is not a Windows program.
// `kind`: connections, or listening sockets (whose other end is all zeros).
std::optional<DWORD> owningProcess(const sockaddr& own, const sockaddr& other,
                                   TCP_TABLE_CLASS kind = TCP_TABLE_OWNER_PID_CONNECTIONS) {
    return own.sa_family == AF_INET
               ? owningProcessIn<MIB_TCPTABLE_OWNER_PID>(AF_INET, kind, own, other)
               : owningProcessIn<MIB_TCP6TABLE_OWNER_PID>(AF_INET6, kind, own, other);
}

template <typename Table>
std::optional<ULONGLONG> creationIn(ULONG family, const sockaddr& own, const sockaddr& other) {
    const auto row = findRow<Table>(family, TCP_TABLE_OWNER_MODULE_CONNECTIONS, own, other);
    if (!row || row->liCreateTimestamp.QuadPart == 0) {
        return std::nullopt;
    }
    return static_cast<ULONGLONG>(row->liCreateTimestamp.QuadPart);
}

// When the socket whose own end is `own` was made, as a FILETIME count; none where the system
// does not say (Wine leaves it 0).
std::optional<ULONGLONG> socketCreation(const sockaddr& own, const sockaddr& other) {
    return own.sa_family == AF_INET ? creationIn<MIB_TCPTABLE_OWNER_MODULE>(AF_INET, own, other)
                                    : creationIn<MIB_TCP6TABLE_OWNER_MODULE>(AF_INET6, own, other);
}

// A FILETIME count: 100 ns since 1601.
ULONGLONG fileTime(std::chrono::system_clock::time_point moment) {
    constexpr ULONGLONG from1601To1970 = 116444736000000000ULL;
    return from1601To1970 +
           static_cast<ULONGLONG>(
               std::chrono::duration_cast<std::chrono::nanoseconds>(moment.time_since_epoch())
                   .count() /
               100);
}

// Whether `process` was started no later than `moment`; false when the system does not say.
bool startedBy(HANDLE process, ULONGLONG moment) {
    FILETIME started;
    FILETIME ended;
    FILETIME kernel;
    FILETIME user;
    if (!GetProcessTimes(process, &started, &ended, &kernel, &user)) {
        return false;
    }
    return (static_cast<ULONGLONG>(started.dwHighDateTime) << 32 | started.dwLowDateTime) <= moment;
}

// The account of a process's access token; empty with `why` set when it cannot be read.
std::vector<char> tokenUser(HANDLE process, std::string& why) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(process, TOKEN_QUERY, &token)) {
        why = errorText("OpenProcessToken");
        return {};
    }
    const Handle owned(token);
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<char> user(size);
    if (size == 0 || !GetTokenInformation(token, TokenUser, user.data(), size, &size)) {
        why = errorText("GetTokenInformation");
        return {};
    }
    return user;
}

PSID sidOf(std::vector<char>& user) {
    return reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
}

std::string accountName(PSID sid) {
    wchar_t name[256];
    wchar_t domain[256];
    DWORD nameSize = 256;
    DWORD domainSize = 256;
    SID_NAME_USE use;
    if (LookupAccountSidW(nullptr, sid, name, &nameSize, domain, &domainSize, &use)) {
        return narrow(std::wstring(domain) + L"\\" + name);
    }
    return errorText("LookupAccountSid");
}

} // namespace

PeerAccount peerAccount(const sockaddr& local, const sockaddr& peer,
                        std::chrono::system_clock::time_point accepted) {
    const std::optional<DWORD> owner = owningProcess(peer, local);
    if (!owner) {
        // This program's own end is in the table whenever the table can be read.
        return owningProcess(local, peer)
                   ? PeerAccount{PeerAccount::Owner::NoLocalSocket, ""}
                   : PeerAccount{PeerAccount::Owner::Unknown,
                                 "the system's TCP table holds neither end of the connection"};
    }
    const DWORD process = *owner;
    if (process == 0) {
        return {PeerAccount::Owner::Unknown, "no process owns the other end"};
    }
    const Handle other(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process));
    if (other.handle == nullptr) {
        return {PeerAccount::Owner::Unknown,
                "process " + std::to_string(process) + ": " + errorText("OpenProcess")};
    }
    // The process that made the socket is older than the socket. Where the system does not say
    // when the socket was made (Wine keeps 0 in the TCP table of modules), the time of accept
    // bounds it instead: later than the making, so a number taken over between the two
    // passes, but a process started after the accept is still refused.
    const std::optional<ULONGLONG> made = socketCreation(peer, local);
    if (!startedBy(other.handle, made ? *made : fileTime(accepted))) {
        return {PeerAccount::Owner::Unknown,
                "process " + std::to_string(process) +
                    " was started after the connection was made: it took the number of the "
                    "process that made it, which has ended"};
    }
    std::string why;
    std::vector<char> otherUser = tokenUser(other.handle, why);
    std::vector<char> ownUser = tokenUser(GetCurrentProcess(), why);
    if (otherUser.empty() || ownUser.empty()) {
        return {PeerAccount::Owner::Unknown, "process " + std::to_string(process) + ": " + why};
    }
    if (EqualSid(sidOf(otherUser), sidOf(ownUser))) {
        return {PeerAccount::Owner::ThisAccount, ""};
    }
    return {PeerAccount::Owner::OtherAccount, accountName(sidOf(otherUser))};
}

std::string listenerAccount(const sockaddr& address) {
    sockaddr_in6 anyEnd{};
    anyEnd.sin6_family = address.sa_family;
    const std::optional<DWORD> owner = owningProcess(
        address, reinterpret_cast<const sockaddr&>(anyEnd), TCP_TABLE_OWNER_PID_LISTENER);
    if (!owner || *owner == 0) {
        return "";
    }
    const Handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, *owner));
    std::string why;
    std::vector<char> user =
        process.handle == nullptr ? std::vector<char>() : tokenUser(process.handle, why);
    return user.empty() ? "" : accountName(sidOf(user));
}

} // namespace platform
