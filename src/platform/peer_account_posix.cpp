#include "platform/peer_account.h"

#include <cerrno>
#include <cstring>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

// What the kernel knows of one TCP socket.
struct Lookup {
    enum class Result { Found, NotFound, Failed };

    Result result;
    uid_t owner = 0;
    std::string failure;
};

Lookup failed(const std::string& why) {
    return {Lookup::Result::Failed, 0, why};
}

const Lookup notFound{Lookup::Result::NotFound, 0, ""};

const char* const closedUnchecked = "the other end closed before it could be checked";

std::string systemError(const char* step) {
    return std::string(step) + ": " + std::strerror(errno);
}

void setEnd(const sockaddr& end, __be16& port, __be32 (&address)[4]) {
    if (end.sa_family == AF_INET) {
        sockaddr_in v4;
        std::memcpy(&v4, &end, sizeof v4);
        port = v4.sin_port;
        address[0] = v4.sin_addr.s_addr;
    } else {
        sockaddr_in6 v6;
        std::memcpy(&v6, &end, sizeof v6);
        port = v6.sin6_port;
        std::memcpy(address, &v6.sin6_addr, sizeof v6.sin6_addr);
    }
}

// `listening`: the socket looked up is a listening one, not an end of a connection.
Lookup interpret(const nlmsghdr& message, bool listening) {
    if (message.nlmsg_type == NLMSG_ERROR) {
        const auto* error = static_cast<const nlmsgerr*>(NLMSG_DATA(&message));
        return error->error == -ENOENT ? notFound : failed(std::strerror(-error->error));
    }
    if (message.nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg))) {
        return failed("a short answer of the kernel's socket diagnostics");
    }
    const auto* socket = static_cast<const inet_diag_msg*>(NLMSG_DATA(&message));
    // The kernel falls back to a listening socket on the port looked up, which is no end of
    // the connection; a closed socket waiting out its time reports no owner.
    if (socket->idiag_state == TCP_LISTEN) {
        return listening ? Lookup{Lookup::Result::Found, socket->idiag_uid, ""} : notFound;
    }
    // A socket that its program has closed belongs to no one any more: the kernel reports it
    // without an inode and with the owner 0, which is no account's word.
    if (socket->idiag_state == TCP_TIME_WAIT || socket->idiag_state == TCP_CLOSE ||
        socket->idiag_inode == 0) {
        return failed(closedUnchecked);
    }
    return {Lookup::Result::Found, socket->idiag_uid, ""};
}

// The kernel's socket diagnostics (what `ss` reads): one exact look-up by the connection's
// two ends costs two system calls, where /proc/net/tcp lists every socket of the system.
class SocketDiagnostics {
public:
    SocketDiagnostics()
        : descriptor(::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG)),
          opened(descriptor >= 0 ? std::string() : systemError("socket")) {}
    ~SocketDiagnostics() {
        if (descriptor >= 0) {
            ::close(descriptor);
        }
    }
    SocketDiagnostics(const SocketDiagnostics&) = delete;
    SocketDiagnostics& operator=(const SocketDiagnostics&) = delete;

    // The TCP socket of this computer whose own end is `own` and whose other end is `other`;
    // with `listening`, the socket that listens on `own`.
    Lookup find(const sockaddr& own, const sockaddr& other, bool listening = false) {
        if (descriptor < 0) {
            return failed("the kernel's socket diagnostics cannot be opened (" + opened + ")");
        }
        struct {
            nlmsghdr header;
            inet_diag_req_v2 body;
        } request{};
        request.header.nlmsg_len = sizeof request;
        request.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
        request.header.nlmsg_flags = NLM_F_REQUEST;
        request.header.nlmsg_seq = ++sequence;
        request.body.sdiag_family = static_cast<__u8>(own.sa_family);
        request.body.sdiag_protocol = IPPROTO_TCP;
        request.body.idiag_states = ~0u;
        setEnd(own, request.body.id.idiag_sport, request.body.id.idiag_src);
        setEnd(other, request.body.id.idiag_dport, request.body.id.idiag_dst);
        request.body.id.idiag_cookie[0] = INET_DIAG_NOCOOKIE;
        request.body.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;
        sockaddr_nl kernel{};
        kernel.nl_family = AF_NETLINK;
        if (::sendto(descriptor, &request, sizeof request, 0, reinterpret_cast<sockaddr*>(&kernel),
                     sizeof kernel) < 0) {
            return failed(systemError("asking the kernel's socket diagnostics"));
        }
        return answer(listening);
    }

private:
    // The kernel answers while the request is being sent, so nothing is waited for; the
    // answer to an earlier request that was given up is told apart by its number.
    Lookup answer(bool listening) {
        alignas(nlmsghdr) char reply[8192];
        for (;;) {
            const ssize_t size = ::recv(descriptor, reply, sizeof reply, MSG_DONTWAIT);
            if (size < 0) {
                return failed(systemError("reading the kernel's socket diagnostics"));
            }
            const auto* message = reinterpret_cast<const nlmsghdr*>(reply);
            if (NLMSG_OK(message, static_cast<unsigned>(size)) && message->nlmsg_seq == sequence) {
                return interpret(*message, listening);
            }
        }
    }

    const int descriptor;
    const std::string opened;
    unsigned sequence = 0;
};

std::string accountName(uid_t user) {
    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> texts(16384);
    if (::getpwuid_r(user, &entry, texts.data(), texts.size(), &found) == 0 && found != nullptr) {
        return found->pw_name;
    }
    return "number " + std::to_string(user);
}

SocketDiagnostics& diagnostics() {
    thread_local SocketDiagnostics opened;
    return opened;
}

} // namespace

// The kernel names the owner of the socket itself, not of a process: no number can be reused.
PeerAccount peerAccount(const sockaddr& local, const sockaddr& peer,
                        std::chrono::system_clock::time_point) {
    const Lookup other = diagnostics().find(peer, local);
    switch (other.result) {
    case Lookup::Result::Found:
        if (other.owner == ::geteuid()) {
            return {PeerAccount::Owner::ThisAccount, ""};
        }
        return {PeerAccount::Owner::OtherAccount, accountName(other.owner)};
    case Lookup::Result::Failed:
        return {PeerAccount::Owner::Unknown, other.failure};
    case Lookup::Result::NotFound:
        break;
    }
    // The kernel answers "not found" also when it has no diagnostics for TCP at all; the
    // program's own end of the connection tells the two apart.
    if (diagnostics().find(local, peer).result == Lookup::Result::Found) {
        return {PeerAccount::Owner::NoLocalSocket, ""};
    }
    return {PeerAccount::Owner::Unknown,
            "the kernel's socket diagnostics do not find this program's own connection"};
}

std::string listenerAccount(const sockaddr& address) {
    // Any other end: the kernel's exact look-up falls back to the listening socket.
    sockaddr_in6 anyEnd{};
    anyEnd.sin6_family = address.sa_family;
    const Lookup listener =
        diagnostics().find(address, reinterpret_cast<const sockaddr&>(anyEnd), true);
    return listener.result == Lookup::Result::Found ? accountName(listener.owner) : "";
}

} // namespace platform
