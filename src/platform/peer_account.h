// Which account on this computer holds the other end of an accepted TCP connection: a
// program of another account (a second user of a shared workstation, a terminal server's
// session) reaches the loopback port as easily as the shop's own browser does.
#ifndef PLATFORM_PEER_ACCOUNT_H
#define PLATFORM_PEER_ACCOUNT_H

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
// socket reports them. Never throws: what cannot be found out is Unknown.
PeerAccount peerAccount(const sockaddr& local, const sockaddr& peer);

// The account of the program that listens on `address` (IPv4 or IPv6, with its port); empty
// when the system does not say. Never throws.
std::string listenerAccount(const sockaddr& address);

} // namespace platform

#endif
