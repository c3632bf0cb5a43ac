#include "commands.h"
#include "authority.h"
#include "root_store.h"

#include <exception>

namespace certificate {

namespace {

constexpr std::time_t secondsPerDay = 24 * 60 * 60;

struct Command {
    std::string name;
    bool trust = false;
    StoreScope scope = StoreScope::user;
    std::string folder;
};

// False when arguments are not a command.
bool parse(const std::vector<std::string>& arguments, Command& command) {
    std::vector<std::string> words;
    for (const std::string& argument : arguments) {
        if (argument == "--trust") {
            command.trust = true;
        } else if (argument == "--machine") {
            command.scope = StoreScope::machine;
        } else {
            words.push_back(argument);
        }
    }
    if (words.size() != 2 || words[1].empty() || words[1].rfind("--", 0) == 0) {
        return false;
    }
    command.name = words[0];
    command.folder = words[1];
    if (command.name == "renew") {
        command.trust = true;
        return true;
    }
    return command.name == "make" ||
           ((command.name == "untrust" || command.name == "forget") && !command.trust);
}

std::string storeNames(StoreScope scope) {
    return scope == StoreScope::machine ? "the machine's trusted root certificates"
                                        : "the current user's trusted root certificates";
}

// A pair made in memory, not yet written; its authority's key is already gone.
struct NewPair {
    X509Ptr server;
    X509Ptr authority;
    KeyPtr key;
};

NewPair newPair(std::time_t now) {
    // A day back, so that a clock a little behind does not find it not yet valid.
    const Validity validity{now - secondsPerDay, now + validityDays * secondsPerDay};
    NewPair pair{nullptr, nullptr, newKey()};
    const CertificateAuthority authority(localhostNames(), validity);
    pair.server = authority.issue(localhostNames(), pair.key.get());
    pair.authority.reset(checked(X509_dup(authority.certificate()), "copying the authority"));
    return pair;
}

void writePair(const CertificateFolder& folder, const NewPair& pair) {
    folder.write(pair.server.get(), pair.authority.get(), pair.key.get());
}

void trust(X509* authority, const Command& command, std::ostream& out) {
    for (const std::string& place : trustAuthority(authority, command.scope)) {
        out << "trusted: authority " << thumbprint(authority) << " in " << place << "\n";
    }
}

void reportNotTrusted(const std::exception& error, const std::string& consequence,
                      std::ostream& err) {
    err << "fiscal-printer-proxy-certificate: " << error.what() << "; " << consequence << "\n";
}

// Removes an authority that a new pair replaced; its key is gone, so it can sign nothing
// new, and a failure here is only reported.
void distrust(X509* replaced, X509* current, const Command& command, std::ostream& out,
              std::ostream& err) {
    if (!replaced || (current && thumbprint(replaced) == thumbprint(current))) {
        return;
    }
    try {
        distrustAuthority(replaced, command.scope);
        out << "removed: the replaced authority " << thumbprint(replaced) << "\n";
    } catch (const std::exception& error) {
        err << "fiscal-printer-proxy-certificate: " << error.what() << "\n";
    }
}

// A renewal serves the old pair until the program has switched to the new one, so the old
// authority stays trusted until then ("forget"); the installer's make removes it at once.
void retire(const CertificateFolder& folder, X509* replaced, X509* current, const Command& command,
            std::ostream& out, std::ostream& err) {
    if (command.name == "renew" && replaced && thumbprint(replaced) != thumbprint(current)) {
        folder.keepReplaced(replaced);
        out << "kept: the replaced authority " << thumbprint(replaced)
            << " trusted until the program serves the new pair\n";
    } else {
        distrust(replaced, current, command, out, err);
    }
}

// A folder with a pair whose authority is not trusted yet (the user declined): trusted now.
int trustKept(const CertificateFolder& folder, const Command& command, std::ostream& out,
              std::ostream& err) {
    const X509Ptr current = folder.authority();
    try {
        if (!current) {
            throw std::runtime_error("ca.crt cannot be read");
        }
        trust(current.get(), command, out);
    } catch (const std::exception& error) {
        reportNotTrusted(error,
                         "the browser will not trust https://localhost:9003 until " +
                             (folder.path() / "ca.crt").u8string() + " is trusted",
                         err);
        return notTrusted;
    }
    return done;
}

// Where a pair is there, even an expired one, the new authority is trusted before the new
// pair replaces it: when trusting fails (the user answers "No"), the old pair stays and the
// next attempt starts afresh. Without a pair, the new one is written first, so that the
// program can start at all.
int replace(const CertificateFolder& folder, const Command& command, std::ostream& out,
            std::ostream& err) {
    const X509Ptr previous = folder.authority();
    const NewPair pair = newPair(std::time(nullptr));
    const bool pairThere = folder.hasPair();
    try {
        if (command.trust && pairThere) {
            trust(pair.authority.get(), command, out);
        }
    } catch (const std::exception& error) {
        reportNotTrusted(error, "kept the certificate pair in " + command.folder, err);
        return notTrusted;
    }
    try {
        writePair(folder, pair);
    } catch (...) {
        // Nothing will ever be served under the authority just trusted.
        if (command.trust && pairThere) {
            distrust(pair.authority.get(), nullptr, command, out, err);
        }
        throw;
    }
    out << (pairThere ? "renewed" : "made") << ": a new certificate pair for localhost, "
        << "127.0.0.1 and ::1 in " << command.folder << ", valid for " << validityDays
        << " days\n";
    if (!command.trust) {
        return done;
    }
    if (!pairThere) {
        const int trusted = trustKept(folder, command, out, err);
        if (trusted != done) {
            return trusted;
        }
    }
    retire(folder, previous.get(), pair.authority.get(), command, out, err);
    return done;
}

int make(const Command& command, std::ostream& out, std::ostream& err) {
    const CertificateFolder folder(std::filesystem::u8path(command.folder));
    folder.recover();
    if (!folder.pairValidAt(std::time(nullptr) + renewalDays * secondsPerDay)) {
        return replace(folder, command, out, err);
    }
    out << "kept: the certificate pair in " << command.folder << ", valid for more than "
        << renewalDays << " days\n";
    return command.trust ? trustKept(folder, command, out, err) : done;
}

int forget(const Command& command, std::ostream& out, std::ostream& err) {
    const CertificateFolder folder(std::filesystem::u8path(command.folder));
    const X509Ptr current = folder.authority();
    for (const X509Ptr& replaced : folder.replacedAuthorities()) {
        distrust(replaced.get(), current.get(), command, out, err);
    }
    folder.forgetReplaced();
    return done;
}

int untrust(const Command& command, std::ostream& out) {
    const X509Ptr authority =
        CertificateFolder(std::filesystem::u8path(command.folder)).authority();
    if (!authority) {
        throw std::runtime_error("no authority in " + command.folder + "/ca.crt");
    }
    distrustAuthority(authority.get(), command.scope);
    out << "removed: authority " << thumbprint(authority.get()) << " from "
        << storeNames(command.scope) << "\n";
    return done;
}

int run(const Command& command, std::ostream& out, std::ostream& err) {
    if (command.name == "forget") {
        return forget(command, out, err);
    }
    if (command.name == "untrust") {
        return untrust(command, out);
    }
    return make(command, out, err);
}

} // namespace

Outcome makeOrKeep(const CertificateFolder& folder, std::time_t now) {
    if (folder.pairValidAt(now + renewalDays * secondsPerDay)) {
        return Outcome::kept;
    }
    writePair(folder, newPair(now));
    return Outcome::made;
}

std::string usage() {
    return "Usage: fiscal-printer-proxy-certificate make [--trust] [--machine] FOLDER\n"
           "       fiscal-printer-proxy-certificate renew [--machine] FOLDER\n"
           "       fiscal-printer-proxy-certificate forget [--machine] FOLDER\n"
           "       fiscal-printer-proxy-certificate untrust [--machine] FOLDER\n"
           "\n"
           "make       makes server.crt, server.key and ca.crt for localhost, 127.0.0.1 and\n"
           "           ::1 in FOLDER, unless the pair there is valid for " +
           std::to_string(renewalDays) +
           " more days. A new\n"
           "           authority, limited to these names, signs the server certificate; its\n"
           "           private key is never written and is gone when the command ends.\n"
           "--trust    also trusts the authority (Windows: the trusted root certificates;\n"
           "           Linux: the certificate stores of the user's browsers) and removes the\n"
           "           one it replaced. A pair that is there is replaced only once the new\n"
           "           authority is trusted.\n"
           "--machine  (Windows, as administrator) the machine's trusted root certificates\n"
           "           instead of the current user's.\n"
           "renew      make --trust, but the replaced authority stays trusted (listed in\n"
           "           FOLDER/replaced-ca.crt) until forget, once the program serves the new\n"
           "           pair.\n"
           "forget     removes the authorities in FOLDER/replaced-ca.crt from the stores.\n"
           "untrust    removes FOLDER's authority from the stores.\n"
           "\n"
           "Exit codes: 0 done, 1 failed, 2 bad usage, 3 the authority could not be trusted\n"
           "(a pair that was there is kept; a new one is there but not trusted).\n";
}

int runCommand(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    if (arguments.size() == 1 && arguments[0] == "--help") {
        out << usage();
        return done;
    }
    Command command;
    if (!parse(arguments, command)) {
        err << usage();
        return badUsage;
    }
    try {
        return run(command, out, err);
    } catch (const std::exception& error) {
        err << "fiscal-printer-proxy-certificate: " << error.what() << "\n";
        return failed;
    }
}

} // namespace certificate
