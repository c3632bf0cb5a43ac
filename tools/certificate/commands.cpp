#include "commands.h"
#include "certificate/authority.h"
#include "folder_access.h"
#include "root_store.h"

#include <exception>
#include <limits>

namespace certificate {

namespace {

constexpr std::time_t secondsPerDay = 24 * 60 * 60;

struct Command {
    std::string name;
    bool trust = false;
    StoreScope scope = StoreScope::User;
    std::string folder;
};

// False when arguments are not a command.
bool parse(const std::vector<std::string>& arguments, Command& command) {
    std::vector<std::string> words;
    for (const std::string& argument : arguments) {
        if (argument == "--trust") {
            command.trust = true;
        } else if (argument == "--machine") {
            command.scope = StoreScope::Machine;
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
           ((command.name == "untrust" || command.name == "forget" || command.name == "protect") &&
            !command.trust);
}

std::string storeNames(StoreScope scope) {
    return scope == StoreScope::Machine ? "the machine's trusted root certificates"
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

// Trusted where the main store takes it; the stores that did not are told and listed in the
// folder, so that the program has the companion try them again.
void trust(const CertificateFolder& folder, X509* authority, const Command& command,
           std::ostream& out, std::ostream& err) {
    const Trusted trusted = trustAuthority(authority, command.scope);
    for (const std::string& place : trusted.places) {
        out << "trusted: authority " << thumbprint(authority) << " in " << place << "\n";
    }
    for (const std::string& failure : trusted.failed) {
        err << "fiscal-printer-proxy-certificate: not trusted there yet, tried again later: "
            << failure << "\n";
    }
    folder.setStoresPendingTrust(trusted.failed);
}

void reportNotTrusted(const std::exception& error, const std::string& consequence,
                      std::ostream& err) {
    err << "fiscal-printer-proxy-certificate: " << error.what() << "; " << consequence << "\n";
}

// Removes an authority that a new pair replaced; its key is gone, so it can sign nothing
// new, and a failure here is only reported. False when it failed.
bool distrust(X509* replaced, const Command& command, std::ostream& out, std::ostream& err) {
    try {
        distrustAuthority(replaced, command.scope);
        out << "removed: the replaced authority " << thumbprint(replaced) << "\n";
        return true;
    } catch (const std::exception& error) {
        err << "fiscal-printer-proxy-certificate: " << error.what() << "\n";
        return false;
    }
}

// A renewal serves the old pair until the program has switched to the new one, so the old
// authority stays trusted until then ("forget"); the installer's make removes it at once.
// One that is not of this program's kind was never trusted by it and is left alone; one
// that could not be removed stays listed, for "forget" and "untrust" to try again.
void retire(const CertificateFolder& folder, X509* replaced, X509* current, const Command& command,
            std::ostream& out, std::ostream& err) {
    if (!replaced || thumbprint(replaced) == thumbprint(current) ||
        !foreignAuthorityReason(replaced).empty()) {
        return;
    }
    if (command.name == "renew" || !distrust(replaced, command, out, err)) {
        folder.keepReplaced(replaced, std::time(nullptr));
        out << "kept: the replaced authority " << thumbprint(replaced)
            << " trusted until the program serves the new pair\n";
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
        trust(folder, current.get(), command, out, err);
    } catch (const std::exception& error) {
        reportNotTrusted(error,
                         "the browser will not trust https://localhost:9003 until " +
                             (folder.path() / "ca.crt").u8string() + " is trusted",
                         err);
        return NotTrusted;
    }
    return Done;
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
            trust(folder, pair.authority.get(), command, out, err);
        }
    } catch (const std::exception& error) {
        reportNotTrusted(error, "kept the certificate pair in " + command.folder, err);
        return NotTrusted;
    }
    try {
        writePair(folder, pair);
    } catch (...) {
        // Nothing will ever be served under the authority just trusted.
        if (command.trust && pairThere) {
            distrust(pair.authority.get(), command, out, err);
        }
        throw;
    }
    out << (pairThere ? "renewed" : "made") << ": a new certificate pair for localhost, "
        << "127.0.0.1 and ::1 in " << command.folder << ", valid for " << validityDays
        << " days\n";
    if (!command.trust) {
        return Done;
    }
    if (!pairThere) {
        const int trusted = trustKept(folder, command, out, err);
        if (trusted != Done) {
            return trusted;
        }
    }
    retire(folder, previous.get(), pair.authority.get(), command, out, err);
    return Done;
}

int make(const CertificateFolder& folder, const Command& command, std::ostream& out,
         std::ostream& err) {
    folder.recover();
    const std::time_t now = std::time(nullptr);
    const std::string problem = folder.problem(now, now + renewalDays * secondsPerDay);
    if (!problem.empty()) {
        if (std::filesystem::exists(folder.path() / "server.crt")) {
            out << "replacing: the certificate pair in " << command.folder << ": " << problem
                << "\n";
        }
        return replace(folder, command, out, err);
    }
    out << "kept: the certificate pair in " << command.folder << ", valid for more than "
        << renewalDays << " days\n";
    return command.trust ? trustKept(folder, command, out, err) : Done;
}

// Distrusts the listed authorities that may go (all of them, or with notBefore those
// replaced before it) and keeps the others, and those whose removal failed, listed. False
// when a removal failed.
bool distrustReplaced(const CertificateFolder& folder, std::time_t notBefore,
                      const Command& command, std::ostream& out, std::ostream& err) {
    std::vector<CertificateFolder::Replaced> still;
    bool removed = true;
    for (CertificateFolder::Replaced& replaced : folder.replacedAuthorities()) {
        const bool tooSoon = replaced.at > notBefore;
        if (tooSoon) {
            out << "kept: the replaced authority " << thumbprint(replaced.authority.get())
                << " until a day after its renewal\n";
        }
        if (tooSoon || !distrust(replaced.authority.get(), command, out, err)) {
            removed = removed && tooSoon;
            still.push_back(std::move(replaced));
        }
    }
    folder.keepOnlyReplaced(still);
    return removed;
}

// Every user's program looks for a new pair every hour, so on the machine a day after the
// renewal all of them serve it; a user's own program runs this once it serves the new pair.
int forget(const CertificateFolder& folder, const Command& command, std::ostream& out,
           std::ostream& err) {
    const std::time_t now = std::time(nullptr);
    const std::time_t notBefore = command.scope == StoreScope::Machine ? now - secondsPerDay : now;
    distrustReplaced(folder, notBefore, command, out, err);
    return Done;
}

// The authority of ca.crt and every replaced one still listed.
int untrust(const CertificateFolder& folder, const Command& command, std::ostream& out,
            std::ostream& err) {
    const X509Ptr authority = folder.authority();
    if (!authority) {
        throw std::runtime_error("no authority in " + command.folder + "/ca.crt");
    }
    const std::string foreign = foreignAuthorityReason(authority.get());
    if (!foreign.empty()) {
        throw std::runtime_error(command.folder + "/ca.crt is not an authority of this " +
                                 "program (" + foreign + "), so it is left where it is trusted");
    }
    const bool replacedRemoved =
        distrustReplaced(folder, std::numeric_limits<std::time_t>::max(), command, out, err);
    distrustAuthority(authority.get(), command.scope);
    out << "removed: authority " << thumbprint(authority.get()) << " from "
        << storeNames(command.scope) << "\n";
    return replacedRemoved ? Done : Failed;
}

// Under the folder's lock, so that a renewal by the program, the task or setup never meets
// another one half way.
int run(const Command& command, std::ostream& out, std::ostream& err) {
    if (command.name == "protect") {
        const bool checked = restrictToAdministrators(std::filesystem::u8path(command.folder));
        out << "protected: " << command.folder
            << " and all in it may be changed by administrators only"
            << (checked ? "\n" : " (not read back: Wine keeps no access lists)\n");
        return Done;
    }
    const CertificateFolder folder(std::filesystem::u8path(command.folder));
    const platform::FileLock lock = folder.lock();
    if (command.name == "forget") {
        return forget(folder, command, out, err);
    }
    if (command.name == "untrust") {
        return untrust(folder, command, out, err);
    }
    return make(folder, command, out, err);
}

} // namespace

Outcome makeOrKeep(const CertificateFolder& folder, std::time_t now) {
    if (folder.problem(now, now + renewalDays * secondsPerDay).empty()) {
        return Outcome::Kept;
    }
    writePair(folder, newPair(now));
    return Outcome::Made;
}

std::string usage() {
    return "Usage: fiscal-printer-proxy-certificate make [--trust] [--machine] FOLDER\n"
           "       fiscal-printer-proxy-certificate renew [--machine] FOLDER\n"
           "       fiscal-printer-proxy-certificate forget [--machine] FOLDER\n"
           "       fiscal-printer-proxy-certificate untrust [--machine] FOLDER\n"
           "       fiscal-printer-proxy-certificate protect FOLDER\n"
           "\n"
           "make       makes server.crt, server.key and ca.crt for localhost, 127.0.0.1 and\n"
           "           ::1 in FOLDER, unless the pair there is valid now and for " +
           std::to_string(renewalDays) +
           " more\n"
           "           days, its key matches and it verifies against ca.crt, an authority of\n"
           "           this program's own kind; it says why it replaces one. A new\n"
           "           authority, limited to these names, signs the server certificate; its\n"
           "           private key is never written and is gone when the command ends.\n"
           "--trust    also trusts the authority (Windows: the trusted root certificates;\n"
           "           Linux: the certificate stores of the user's browsers) and removes the\n"
           "           one it replaced. A pair that is there is replaced only once the new\n"
           "           authority is trusted (Linux: by ~/.pki/nssdb, or the first store when\n"
           "           there is none; stores that fail are listed in FOLDER/trust-pending\n"
           "           and tried again at the next make --trust or renew).\n"
           "--machine  (Windows, as administrator) the machine's trusted root certificates\n"
           "           instead of the current user's.\n"
           "renew      make --trust, but the replaced authority stays trusted (listed in\n"
           "           FOLDER/replaced-ca.crt) until forget, once the program serves the new\n"
           "           pair.\n"
           "forget     removes the authorities in FOLDER/replaced-ca.crt from the stores\n"
           "           (--machine: those replaced a day ago or more); those that could not be\n"
           "           removed stay listed.\n"
           "untrust    removes FOLDER's authority and those in replaced-ca.crt from the\n"
           "           stores.\n"
           "protect    (Windows, as administrator) gives FOLDER and all in it to\n"
           "           Administrators: full control for them and SYSTEM, read and execute for\n"
           "           Users, nothing inherited from above; then checks that it is so.\n"
           "make, renew, forget and untrust wait for the lock FOLDER/certificate.lock, so\n"
           "that two never change the folder at once.\n"
           "\n"
           "Exit codes: 0 done, 1 failed, 2 bad usage, 3 the authority could not be trusted\n"
           "(a pair that was there is kept; a new one is there but not trusted).\n";
}

int runCommand(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    if (arguments.size() == 1 && arguments[0] == "--help") {
        out << usage();
        return Done;
    }
    Command command;
    if (!parse(arguments, command)) {
        err << usage();
        return BadUsage;
    }
    try {
        return run(command, out, err);
    } catch (const std::exception& error) {
        err << "fiscal-printer-proxy-certificate: " << error.what() << "\n";
        return Failed;
    }
}

} // namespace certificate
