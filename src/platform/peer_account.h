// Which account on this computer holds the other end of an accepted TCP connection: a
// program of another account (a second user of a shared workstation, a terminal server's
// session) reaches the loopback port as easily as the shop's own browser does.
#ifndef PLATFORM_PEER_ACCOUNT_H
#define PLATFORM_PEER_ACCOUNT_H

#include <chrono>
#include <string>

struct sockaddr;

namespace platform {

struct PeerAccount {
    enum class Owner {
        // The account that runs this program.
        ThisAccount,
        // Another account; `name` names it.
        OtherAccount,
        // No socket on this computer holds the other end: it is on another machine.
        NoLocalSocket,
        // The owner could not be learnt; `name` says why.
        Unknown,
    };

    Owner owner;
    std::string name;
};

// `local` and `peer` are the connection's own end and the other one (IPv4 or IPv6), as the
// socket reports them; `accepted`, when the connection was accepted. Never throws: what
// cannot be found out is Unknown. Where the owner is learnt through the process that made
// the other end (Windows), a process started after the socket was made (after `accepted`
// where the system does not say when the socket was made) is Unknown: it only took the
// number of the one that made the socket, which has ended.
PeerAccount peerAccount(const sockaddr& local, const sockaddr& peer,
                        std::chrono::system_clock::time_point accepted);

// The account of the program that listens on `address` (IPv4 or IPv6, with its port); empty
// when the system does not say. Never throws.
std::string listenerAccount(const sockaddr& address);

} // namespace platform

#endif
