// The companion program's certificates, checked with OpenSSL's own verifier: the pair it
// makes serves localhost, its authority can vouch for nothing else, and no key but the
// server's is left on disk.
#include "certificate/authority.h"
#include "platform/run_and_wait.h"
#include "support/temporary_folder.h"
#include "tools/certificate/commands.h"
#include "tools/certificate/root_store.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <openssl/pem.h>
#include <set>
#include <sstream>
#include <thread>
#ifndef _WIN32
#include <cstdlib>
#include <sys/stat.h>
#endif

using namespace certificate;

namespace {

constexpr std::time_t day = 24 * 60 * 60;

std::string fileText(const boost::filesystem::path& path) {
    std::ifstream file(path.string(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::vector<X509Ptr> readCertificates(const boost::filesystem::path& path) {
    const std::string text = fileText(path);
    const BioPtr memory(BIO_new_mem_buf(text.data(), static_cast<int>(text.size())));
    std::vector<X509Ptr> certificates;
    while (X509* certificate = PEM_read_bio_X509(memory.get(), nullptr, nullptr, nullptr)) {
        certificates.emplace_back(certificate);
    }
    return certificates;
}

KeyPtr readKey(const boost::filesystem::path& path) {
    const std::string text = fileText(path);
    const BioPtr memory(BIO_new_mem_buf(text.data(), static_cast<int>(text.size())));
    return KeyPtr(PEM_read_bio_PrivateKey(memory.get(), nullptr, nullptr, nullptr));
}

struct Peer {
    std::string host;
    std::string ip;
};

// OpenSSL's verdict on server as a TLS server for peer, with authority the only trusted
// certificate.
int verify(X509* server, X509* authority, const Peer& peer) {
    const StorePtr store(X509_STORE_new());
    X509_STORE_add_cert(store.get(), authority);
    const StoreContextPtr context(X509_STORE_CTX_new());
    X509_STORE_CTX_init(context.get(), store.get(), server, nullptr);
    X509_STORE_CTX_set_purpose(context.get(), X509_PURPOSE_SSL_SERVER);
    X509_VERIFY_PARAM* parameters = X509_STORE_CTX_get0_param(context.get());
    if (!peer.host.empty()) {
        X509_VERIFY_PARAM_set1_host(parameters, peer.host.c_str(), 0);
    }
    if (!peer.ip.empty()) {
        X509_VERIFY_PARAM_set1_ip_asc(parameters, peer.ip.c_str());
    }
    X509_verify_cert(context.get());
    return X509_STORE_CTX_get_error(context.get());
}

Validity validFor(std::time_t days) {
    const std::time_t now = std::time(nullptr);
    return {now - day, now + days * day};
}

std::set<std::string> fileNames(const boost::filesystem::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : boost::filesystem::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

} // namespace

TEST(MadePair, ServesLocalhostAndItsAddressesUnderItsAuthority) {
    TemporaryFolder folder;
    ASSERT_EQ(makeOrKeep(CertificateFolder(folder.path().string()), std::time(nullptr)),
              Outcome::Made);

    const std::vector<X509Ptr> chain = readCertificates(folder.path() / "server.crt");
    const std::vector<X509Ptr> authority = readCertificates(folder.path() / "ca.crt");
    ASSERT_EQ(chain.size(), 2u);
    ASSERT_EQ(authority.size(), 1u);
    EXPECT_EQ(X509_cmp(chain[1].get(), authority[0].get()), 0) << "the chain ends in ca.crt";
    for (const Peer& peer : {Peer{"localhost", ""}, Peer{"", "127.0.0.1"}, Peer{"", "::1"}}) {
        EXPECT_EQ(verify(chain[0].get(), authority[0].get(), peer), X509_V_OK)
            << peer.host << peer.ip;
    }
    EXPECT_EQ(verify(chain[0].get(), authority[0].get(), {"example.com", ""}),
              X509_V_ERR_HOSTNAME_MISMATCH);

    const KeyPtr key = readKey(folder.path() / "server.key");
    ASSERT_TRUE(key);
    EXPECT_EQ(X509_check_private_key(chain[0].get(), key.get()), 1);
    EXPECT_NE(X509_check_private_key(authority[0].get(), key.get()), 1);
    const int extension = X509_get_ext_by_NID(authority[0].get(), NID_name_constraints, -1);
    ASSERT_GE(extension, 0);
    EXPECT_EQ(X509_EXTENSION_get_critical(X509_get_ext(authority[0].get(), extension)), 1);
}

TEST(MadePair, LeavesNoKeyButTheServersOwn) {
    TemporaryFolder folder;
    makeOrKeep(CertificateFolder(folder.path().string()), std::time(nullptr));

    EXPECT_EQ(fileNames(folder.path()),
              (std::set<std::string>{"ca.crt", "server.crt", "server.key"}));
    for (const char* name : {"ca.crt", "server.crt"}) {
        EXPECT_EQ(fileText(folder.path() / name).find("PRIVATE KEY"), std::string::npos) << name;
    }
#ifndef _WIN32
    // The certificates are for anyone to read and check; the key is the owner's alone.
    for (const auto& [name, mode] : {std::pair{"server.key", 0600u}, std::pair{"server.crt", 0644u},
                                     std::pair{"ca.crt", 0644u}}) {
        struct stat status {};
        ASSERT_EQ(::stat((folder.path() / name).c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 0777, mode) << name;
    }
#endif
}

TEST(Authority, CannotVouchForAnyOtherName) {
    const CertificateAuthority authority(localhostNames(), validFor(10));
    const KeyPtr key = newKey();
    const X509Ptr localhost = authority.issue(localhostNames(), key.get());
    ASSERT_EQ(verify(localhost.get(), authority.certificate(), {"localhost", ""}), X509_V_OK);

    const std::vector<ServerNames> others = {
        {{"example.com"}, {}},
        {{"localhost.example.com"}, {}},
        {{"localhost", "bank.pl"}, {}},
        {{}, {"127.0.0.2"}},
        {{}, {"10.0.0.1"}},
        {{}, {"::2"}},
    };
    for (const ServerNames& names : others) {
        const X509Ptr other = authority.issue(names, key.get());
        EXPECT_EQ(verify(other.get(), authority.certificate(), {}), X509_V_ERR_PERMITTED_VIOLATION)
            << (names.dnsNames.empty() ? names.ipAddresses[0] : names.dnsNames.back());
    }
}

TEST(MakeOrKeep, KeepsAGoodPairAndRenewsOneThatEndsSoonOrDoesNotMatch) {
    TemporaryFolder folder;
    const CertificateFolder files(folder.path().string());
    const std::time_t now = std::time(nullptr);
    ASSERT_EQ(makeOrKeep(files, now), Outcome::Made);
    const std::string first = fileText(folder.path() / "server.crt");
    EXPECT_EQ(makeOrKeep(files, now), Outcome::Kept);
    EXPECT_EQ(fileText(folder.path() / "server.crt"), first);

    {
        const CertificateAuthority authority(localhostNames(), validFor(renewalDays - 1));
        const KeyPtr key = newKey();
        files.write(authority.issue(localhostNames(), key.get()).get(), authority.certificate(),
                    key.get());
    }
    const std::string endingSoon = fileText(folder.path() / "server.crt");
    EXPECT_EQ(makeOrKeep(files, now), Outcome::Made);
    EXPECT_NE(fileText(folder.path() / "server.crt"), endingSoon);

    std::ofstream(folder.path().string() + "/server.key", std::ios::trunc)
        << fileText(folder.path() / "ca.crt");
    EXPECT_EQ(makeOrKeep(files, now), Outcome::Made) << "a key that is not the server's";
    boost::filesystem::remove(folder.path() / "ca.crt");
    EXPECT_EQ(makeOrKeep(files, now), Outcome::Made) << "no authority to verify against";
    EXPECT_TRUE(files.pairValidAt(now));
}

TEST(Command, AnswersBadUsageAndFailuresWithTheirExitCodes) {
    TemporaryFolder folder;
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"make"},
        {"make", "a", "b"},
        {"remove", "a"},
        {"untrust", "--trust", "a"},
        {"make", "--renew", "a"},
    };
    for (const auto& arguments : bad) {
        std::ostringstream out, err;
        EXPECT_EQ(runCommand(arguments, out, err), BadUsage) << ::testing::PrintToString(arguments);
        EXPECT_NE(err.str().find("Usage: "), std::string::npos);
    }
    std::ostringstream out, err;
    EXPECT_EQ(runCommand({"untrust", folder.path().string()}, out, err), Failed);
    EXPECT_NE(err.str().find("ca.crt"), std::string::npos) << err.str();

    // Shops' user names, and so their install folders, have Polish letters.
    const std::string polishFolder =
        (std::filesystem::u8path(folder.path().string()) / std::filesystem::u8path("Łucja Żółć"))
            .u8string();
    std::ostringstream made, madeErrors;
    EXPECT_EQ(runCommand({"make", polishFolder}, made, madeErrors), Done) << madeErrors.str();
    EXPECT_EQ(made.str().rfind("made: ", 0), 0u) << made.str();
    EXPECT_TRUE(
        CertificateFolder(std::filesystem::u8path(polishFolder)).pairValidAt(std::time(nullptr)));
}

TEST(Write, AnInterruptedOneIsUndoneOrFinishedAsAWhole) {
    // The files left with ".new" by a write that ended early: while the key's is there
    // (written in the order key, certificate, authority) nothing was renamed and the old pair
    // stays; once the key was renamed, the new pair is completed.
    const std::vector<std::pair<std::set<std::string>, bool>> interrupted = {
        {{"server.key"}, false},
        {{"server.key", "server.crt"}, false},
        {{"server.key", "server.crt", "ca.crt"}, false},
        {{"server.crt", "ca.crt"}, true},
        {{"ca.crt"}, true},
    };
    for (const auto& [pendingNames, becomesNew] : interrupted) {
        TemporaryFolder oldFolder, newFolder;
        const CertificateFolder oldPair(oldFolder.path().string());
        makeOrKeep(oldPair, std::time(nullptr));
        makeOrKeep(CertificateFolder(newFolder.path().string()), std::time(nullptr));
        const std::string newCertificate = fileText(newFolder.path() / "server.crt");
        std::set<std::string> renamed;
        if (becomesNew) {
            renamed = {"server.key", "server.crt", "ca.crt"};
        }
        for (const std::string& name : pendingNames) {
            renamed.erase(name);
            boost::filesystem::copy_file(newFolder.path() / name,
                                         oldFolder.path() / (name + ".new"));
        }
        for (const std::string& name : renamed) {
            boost::filesystem::copy_file(newFolder.path() / name, oldFolder.path() / name,
                                         boost::filesystem::copy_options::overwrite_existing);
        }
        ASSERT_TRUE(oldPair.interrupted());

        oldPair.recover();
        EXPECT_FALSE(oldPair.interrupted());
        EXPECT_TRUE(oldPair.pairValidAt(std::time(nullptr)));
        EXPECT_EQ(fileText(oldFolder.path() / "server.crt") == newCertificate, becomesNew)
            << ::testing::PrintToString(pendingNames);
    }
}

#ifndef _WIN32
// A pair in folder, made as if on an earlier day, that ends daysLeft days from now.
void agedPair(const CertificateFolder& folder, std::time_t daysLeft) {
    makeOrKeep(folder, std::time(nullptr) - (validityDays - daysLeft) * day);
}

std::string authorityName(const CertificateFolder& folder) {
    return commonName(folder.authority().get());
}

// The user's browsers in a scratch HOME: Chromium's certificate store and a Firefox
// profile's, made by certutil as the browsers make them.
class BrowserStores : public ::testing::Test {
protected:
    void SetUp() override {
        const char* home = std::getenv("HOME");
        savedHome = home ? home : "";
        ::setenv("HOME", homeFolder.path().c_str(), 1);
        for (const boost::filesystem::path& store : {chromium(), firefox()}) {
            boost::filesystem::create_directories(store);
            ASSERT_EQ(certutil({"-N", "-d", "sql:" + store.string(), "--empty-password"}), 0);
        }
    }
    void TearDown() override { ::setenv("HOME", savedHome.c_str(), 1); }

    static int certutil(const std::vector<std::string>& arguments) {
        return platform::runAndWait("certutil", arguments).exitCode;
    }

    boost::filesystem::path chromium() const { return homeFolder.path() / ".pki/nssdb"; }
    boost::filesystem::path firefox() const {
        return homeFolder.path() / ".mozilla/firefox/a1b2.default";
    }

    // The nicknames in store, which are the authorities' names.
    static std::set<std::string> trusted(const boost::filesystem::path& store) {
        const std::string listing =
            platform::runAndWait("certutil", {"-L", "-d", "sql:" + store.string()}).output;
        std::set<std::string> names;
        std::istringstream lines(listing);
        for (std::string line; std::getline(lines, line);) {
            if (line.rfind("Fiscal printer proxy", 0) == 0) {
                names.insert(line.substr(0, line.find("  ")));
            }
        }
        return names;
    }

    std::string run(const std::vector<std::string>& arguments, int expected) {
        std::ostringstream out, err;
        EXPECT_EQ(runCommand(arguments, out, err), expected)
            << ::testing::PrintToString(arguments) << out.str() << err.str();
        return out.str();
    }

    TemporaryFolder homeFolder;
    TemporaryFolder pairFolder;
    std::string savedHome;
};

TEST_F(BrowserStores, RenewalTrustsTheNewAuthorityBeforeItsPairAndForgetsTheOldOneAfter) {
    const CertificateFolder folder(pairFolder.path().string());
    const std::string path = pairFolder.path().string();
    agedPair(folder, 10);
    trustAuthority(folder.authority().get(), StoreScope::User);
    const std::string first = authorityName(folder);

    EXPECT_NE(run({"renew", path}, Done).find("\ntrusted: "), std::string::npos);
    const std::string second = authorityName(folder);
    EXPECT_NE(second, first);
    EXPECT_TRUE(folder.pairValidAt(std::time(nullptr) + 300 * day));
    for (const auto& store : {chromium(), firefox()}) {
        EXPECT_EQ(trusted(store), (std::set<std::string>{first, second})) << store;
    }
    // Stores that cannot be found: the replaced authority stays listed for the next try.
    ::unsetenv("HOME");
    run({"forget", path}, Done);
    ::setenv("HOME", homeFolder.path().c_str(), 1);
    EXPECT_EQ(folder.replacedAuthorities().size(), 1u);
    // On the machine, not before a day has passed since the renewal.
    EXPECT_NE(run({"forget", "--machine", path}, Done).find("until a day after"),
              std::string::npos);
    EXPECT_EQ(folder.replacedAuthorities().size(), 1u);
    run({"forget", path}, Done);
    for (const auto& store : {chromium(), firefox()}) {
        EXPECT_EQ(trusted(store), std::set<std::string>{second}) << store;
    }
    EXPECT_TRUE(folder.replacedAuthorities().empty());

    // A store that certutil cannot write: the renewal goes ahead with the user's own store,
    // and the other is tried again by the next renew.
    agedPair(folder, -1);
    const std::string third = authorityName(folder);
    trustAuthority(folder.authority().get(), StoreScope::User);
    const std::string database = fileText(firefox() / "cert9.db");
    std::ofstream((firefox() / "cert9.db").string(), std::ios::trunc) << "not a database";
    run({"renew", path}, Done);
    const std::string fourth = authorityName(folder);
    EXPECT_TRUE(folder.pairValidAt(std::time(nullptr)));
    EXPECT_EQ(trusted(chromium()), (std::set<std::string>{second, third, fourth}));
    EXPECT_EQ(folder.storesPendingTrust().size(), 1u);
    std::ofstream((firefox() / "cert9.db").string(), std::ios::trunc | std::ios::binary)
        << database;
    run({"renew", path}, Done);
    EXPECT_EQ(authorityName(folder), fourth);
    EXPECT_EQ(trusted(firefox()).count(fourth), 1u);
    EXPECT_TRUE(folder.storesPendingTrust().empty());

    // Uninstalling takes out the authority and every replaced one still listed.
    run({"untrust", path}, Done);
    EXPECT_EQ(trusted(chromium()), (std::set<std::string>{second}));
}

// A pair that cannot be served, or that ca.crt cannot vouch for as an authority of the
// program's own kind, is replaced by a renewal that says why; a foreign authority is never
// trusted, kept or taken out of the stores.
TEST_F(BrowserStores, RenewalReplacesAPairThatCannotBeServedAndSaysWhy) {
    const CertificateFolder folder(pairFolder.path().string());
    const boost::filesystem::path files = pairFolder.path();
    const auto wider = [&] {
        const CertificateAuthority authority({{"localhost", "bank.pl"}, {"127.0.0.1", "::1"}},
                                             validFor(300));
        const KeyPtr key = newKey();
        folder.write(authority.issue(localhostNames(), key.get()).get(), authority.certificate(),
                     key.get());
    };
    const std::vector<std::pair<std::function<void()>, std::string>> cases = {
        {[&] { makeOrKeep(folder, std::time(nullptr) + validityDays * day); },
         "server.crt is not valid yet"},
        {[&] {
             boost::filesystem::copy_file(files / "ca.crt", files / "server.key",
                                          boost::filesystem::copy_options::overwrite_existing);
         },
         "server.key is not the key of server.crt"},
        {[&] { std::ofstream((files / "server.crt").string(), std::ios::trunc); },
         "server.crt holds no certificate"},
        {wider, "ca.crt is not an authority of this program: its name constraints permit other "
                "names"},
    };
    for (const auto& [spoil, reason] : cases) {
        boost::filesystem::remove(files / "server.crt");
        makeOrKeep(folder, std::time(nullptr));
        spoil();
        const std::string before = authorityName(folder);
        const std::size_t listed = folder.replacedAuthorities().size();
        const bool foreign = reason.rfind("ca.crt", 0) == 0;
        EXPECT_NE(run({"renew", files.string()}, Done).find(reason), std::string::npos) << reason;
        EXPECT_TRUE(folder.pairValidAt(std::time(nullptr) + 300 * day)) << reason;
        EXPECT_EQ(trusted(chromium()).count(before), 0u) << reason;
        EXPECT_EQ(trusted(chromium()).count(authorityName(folder)), 1u) << reason;
        EXPECT_EQ(folder.replacedAuthorities().size(), listed + (foreign ? 0 : 1)) << reason;
    }
    EXPECT_NE(run({"untrust", files.string()}, Done).find("removed: "), std::string::npos);
    wider();
    run({"untrust", files.string()}, Failed);
    // A pair that cannot be served is replaced even when its authority cannot be trusted, so
    // that the program can start at all.
    boost::filesystem::copy_file(files / "ca.crt", files / "server.key",
                                 boost::filesystem::copy_options::overwrite_existing);
    std::ofstream((chromium() / "cert9.db").string(), std::ios::trunc) << "damaged";
    run({"renew", files.string()}, NotTrusted);
    EXPECT_TRUE(folder.pairValidAt(std::time(nullptr) + 300 * day));
}

// The program, the task and setup may renew at once: one waits for the other, and the
// folder ends with one whole pair.
TEST(Make, TwoRenewalsAtOnceLeaveOneWholePair) {
    for (int round = 0; round < 8; ++round) {
        TemporaryFolder folder;
        const CertificateFolder files(folder.path().string());
        makeOrKeep(files, std::time(nullptr) - validityDays * day);
        std::vector<int> codes(2);
        std::vector<std::thread> renewals;
        for (int& code : codes) {
            renewals.emplace_back([&code, &folder] {
                std::ostringstream out, err;
                code = runCommand({"make", folder.path().string()}, out, err);
            });
        }
        for (std::thread& renewal : renewals) {
            renewal.join();
        }
        EXPECT_EQ(codes, (std::vector<int>{Done, Done}));
        EXPECT_TRUE(files.pairValidAt(std::time(nullptr))) << round;
        EXPECT_FALSE(files.interrupted()) << round;
    }
}
#endif
