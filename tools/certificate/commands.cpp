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
    std::string folder;
};

// False when arguments are not a command.
bool parse(const std::vector<std::string>& arguments, Command& command) {
    std::vector<std::string> words;
    for (const std::string& argument : arguments) {
        if (argument == "--trust") {
            command.trust = true;
        } else {
            words.push_back(argument);
        }
    }
    if (words.size() != 2 || words[1].empty() || words[1].rfind("--", 0) == 0) {
        return false;
    }
    command.name = words[0];
    command.folder = words[1];
    return (command.name == "make") || (command.name == "untrust" && !command.trust);
}

// Removes the authority that a new pair replaced; its key is gone, so it can sign nothing
// new, and a failure here is only reported.
void distrustReplaced(X509* replaced, X509* current, std::ostream& out, std::ostream& err) {
    if (!replaced || thumbprint(replaced) == thumbprint(current)) {
        return;
    }
    try {
        distrustAuthority(replaced);
        out << "removed: the replaced authority " << thumbprint(replaced) << "\n";
    } catch (const std::exception& error) {
        err << "fiscal-printer-proxy-certificate: " << error.what() << "\n";
    }
}

// Makes the current authority of folder trusted, and removes the one it replaced.
int trust(const CertificateFolder& folder, X509* replaced, std::ostream& out, std::ostream& err) {
    const X509Ptr current = folder.authority();
    try {
        if (!current) {
            throw std::runtime_error("ca.crt cannot be read");
        }
        trustAuthority(current.get());
        out << "trusted: authority " << thumbprint(current.get())
            << " in the current user's trusted root certificates\n";
    } catch (const std::exception& error) {
        err << "fiscal-printer-proxy-certificate: " << error.what()
            << "; the browser will not trust https://localhost:9003 until "
            << (folder.path() / "ca.crt").u8string() << " is trusted\n";
        return notTrusted;
    }
    distrustReplaced(replaced, current.get(), out, err);
    return done;
}

int make(const Command& command, std::ostream& out, std::ostream& err) {
    const CertificateFolder folder(std::filesystem::u8path(command.folder));
    const X509Ptr previous = folder.authority();
    const Outcome outcome = makeOrKeep(folder, std::time(nullptr));
    if (outcome == Outcome::made) {
        out << "made: a new certificate pair for localhost, 127.0.0.1 and ::1 in " << command.folder
            << ", valid for " << validityDays << " days\n";
    } else {
        out << "kept: the certificate pair in " << command.folder << ", valid for more than "
            << renewalDays << " days\n";
    }
    return command.trust ? trust(folder, previous.get(), out, err) : done;
}

int untrust(const Command& command, std::ostream& out) {
    const X509Ptr authority =
        CertificateFolder(std::filesystem::u8path(command.folder)).authority();
    if (!authority) {
        throw std::runtime_error("no authority in " + command.folder + "/ca.crt");
    }
    distrustAuthority(authority.get());
    out << "removed: authority " << thumbprint(authority.get())
        << " from the current user's trusted root certificates\n";
    return done;
}

} // namespace

Outcome makeOrKeep(const CertificateFolder& folder, std::time_t now) {
    if (folder.pairValidAt(now + renewalDays * secondsPerDay)) {
        return Outcome::kept;
    }
    // A day back, so that a clock a little behind does not find it not yet valid.
    const Validity validity{now - secondsPerDay, now + validityDays * secondsPerDay};
    const KeyPtr serverKey = newKey();
    X509Ptr server;
    X509Ptr authorityCertificate;
    {
        const CertificateAuthority authority(localhostNames(), validity);
        server = authority.issue(localhostNames(), serverKey.get());
        authorityCertificate.reset(X509_dup(authority.certificate()));
    }
    folder.write(server.get(), checked(authorityCertificate.get(), "copying the authority"),
                 serverKey.get());
    return Outcome::made;
}

std::string usage() {
    return "Usage: fiscal-printer-proxy-certificate make [--trust] FOLDER\n"
           "       fiscal-printer-proxy-certificate untrust FOLDER\n"
           "\n"
           "make     makes server.crt, server.key and ca.crt for localhost, 127.0.0.1 and ::1\n"
           "         in FOLDER, unless the pair there is valid for " +
           std::to_string(renewalDays) +
           " more days. A new\n"
           "         authority, limited to these names, signs the server certificate; its\n"
           "         private key is never written and is gone when the command ends.\n"
           "--trust  (Windows) also adds the authority to the current user's trusted root\n"
           "         certificates and removes the one it replaced.\n"
           "untrust  (Windows) removes FOLDER's authority from them.\n"
           "\n"
           "Exit codes: 0 done, 1 failed, 2 bad usage, 3 the pair is there but its\n"
           "authority could not be trusted.\n";
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
        return command.name == "make" ? make(command, out, err) : untrust(command, out);
    } catch (const std::exception& error) {
        err << "fiscal-printer-proxy-certificate: " << error.what() << "\n";
        return failed;
    }
}

} // namespace certificate
