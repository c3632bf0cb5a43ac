#include "certificate/authority.h"
#include "platform/run_and_wait.h"
#include "root_store.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <openssl/pem.h>
#include <stdexcept>

namespace certificate {

namespace fs = std::filesystem;

namespace {

// The nickname every authority had before each got its own; one made then may still be
// trusted under it.
constexpr const char* sharedNickname = "Fiscal printer proxy localhost authority";

fs::path homeFolder() {
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') {
        throw std::runtime_error("HOME is not set, so the browsers' certificate stores are "
                                 "unknown");
    }
    return home;
}

// certutil's stores (cert9.db) of Chromium and Chrome (one per user, the main one first) and
// of every Firefox profile, also as snaps and Flatpaks install them, and in the folder newer
// Firefox versions use.
std::vector<fs::path> browserStores() {
    const fs::path user = homeFolder();
    std::vector<fs::path> candidates = {user / ".pki/nssdb",
                                        user / "snap/chromium/current/.pki/nssdb",
                                        user / ".var/app/org.chromium.Chromium/.pki/nssdb",
                                        user / ".var/app/com.google.Chrome/.pki/nssdb"};
    for (const fs::path& profiles :
         {user / ".mozilla/firefox", user / "snap/firefox/common/.mozilla/firefox",
          user / ".var/app/org.mozilla.firefox/.mozilla/firefox",
          user / ".config/mozilla/firefox"}) {
        std::error_code missing;
        for (const fs::directory_entry& profile : fs::directory_iterator(profiles, missing)) {
            candidates.push_back(profile.path());
        }
    }
    std::vector<fs::path> stores;
    for (const fs::path& candidate : candidates) {
        if (fs::exists(candidate / "cert9.db")) {
            stores.push_back(candidate);
        }
    }
    return stores;
}

platform::ProgramOutcome certutil(const fs::path& store, std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"-d", "sql:" + store.string()});
    try {
        return platform::runAndWait("certutil", arguments);
    } catch (const std::runtime_error& error) {
        throw std::runtime_error(std::string(error.what()) +
                                 " (certutil is in the Debian package libnss3-tools)");
    }
}

void add(const fs::path& store, X509* authority) {
    const BioPtr pem(checked(BIO_new(BIO_s_mem()), "making a buffer"));
    checked(PEM_write_bio_X509(pem.get(), authority), "writing the authority");
    const fs::path file = store / ("fiscal-printer-proxy-" + thumbprint(authority) + ".crt");
    {
        char* data = nullptr;
        const long length = BIO_get_mem_data(pem.get(), &data);
        const BioPtr out(checked(BIO_new_file(file.c_str(), "wb"), "writing the authority"));
        checked(BIO_write(out.get(), data, static_cast<int>(length)), "writing the authority");
    }
    const platform::ProgramOutcome added =
        certutil(store, {"-A", "-n", commonName(authority), "-t", "C,,", "-i", file.string()});
    fs::remove(file);
    if (added.exitCode != 0) {
        throw std::runtime_error("certutil could not add the authority to " + store.string() +
                                 ": " + added.output);
    }
}

// The certificate trusted under nickname in store, or null.
X509Ptr trustedUnder(const fs::path& store, const std::string& nickname) {
    const platform::ProgramOutcome listed = certutil(store, {"-L", "-n", nickname, "-a"});
    if (listed.exitCode != 0) {
        return nullptr;
    }
    const BioPtr text(BIO_new_mem_buf(listed.output.data(), static_cast<int>(listed.output.size())));
    return X509Ptr(text ? PEM_read_bio_X509(text.get(), nullptr, nullptr, nullptr) : nullptr);
}

void removeFrom(const fs::path& store, X509* authority) {
    for (const std::string& nickname : {commonName(authority), std::string(sharedNickname)}) {
        X509Ptr present = trustedUnder(store, nickname);
        // A nickname may hold more than one certificate; certutil removes one at a time.
        while (present && thumbprint(present.get()) == thumbprint(authority)) {
            if (certutil(store, {"-D", "-n", nickname}).exitCode != 0) {
                throw std::runtime_error("certutil could not remove the authority from " +
                                         store.string());
            }
            present = trustedUnder(store, nickname);
        }
    }
}

} // namespace

Trusted trustAuthority(X509* authority, StoreScope scope) {
    if (scope == StoreScope::Machine) {
        throw std::runtime_error("the machine's trusted root certificates are Windows' only");
    }
    const std::vector<fs::path> stores = browserStores();
    Trusted trusted;
    for (const fs::path& store : stores) {
        try {
            add(store, authority);
            trusted.places.push_back("the browser store " + store.string());
        } catch (const std::runtime_error& error) {
            if (store == stores.front()) {
                throw;
            }
            std::string reason = error.what();
            std::replace(reason.begin(), reason.end(), '\n', ' ');
            trusted.failed.push_back(reason);
        }
    }
    return trusted;
}

void distrustAuthority(X509* authority, StoreScope scope) {
    if (scope == StoreScope::Machine) {
        throw std::runtime_error("the machine's trusted root certificates are Windows' only");
    }
    for (const fs::path& store : browserStores()) {
        removeFrom(store, authority);
    }
}

} // namespace certificate
