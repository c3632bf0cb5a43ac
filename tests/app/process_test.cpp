// The built program as a whole, run as a process the way a user starts it: in a working
// folder holding (or lacking) the certificate files, with its own application-data and
// runtime folders. The program always listens on port 9003, so these tests never run side
// by side (see CMakeLists.txt).
#include "certificate/authority.h"
#include "platform/run_and_wait.h"
#include "program_process.h"
#include "support/temporary_folder.h"
#include "support/test_certificate.h"
#include "support/tls_client.h"
#include "support/virtual_printer_process.h"
#include "tools/certificate/commands.h"

#include <algorithm>
#include <boost/filesystem.hpp>
#include <boost/filesystem/fstream.hpp>
#include <chrono>
#include <csignal>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = boost::filesystem;

constexpr unsigned short programPort = 9003;
const std::string missingFilesMessage =
    "Błąd: Nie można uruchomić aplikacji: nie znaleziono wszystkich plików\n";
const std::string startupErrorMessage = "Błąd: Błąd podczas uruchamiania aplikacji\n";
const std::string startedDisconnected = "Trivane Ledvik Drukarki fiskalne [drukarka niepołączona]";
const std::string startedConnected = "Trivane Ledvik Drukarki fiskalne [drukarka połączona]";
const std::string nowConnected = "Nawiązano połączenie z drukarką [drukarka połączona]";
const std::string nowDisconnected = "Brak połączenia z drukarką fiskalną [drukarka niepołączona]";

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

HttpAnswer get(const std::string& path) {
    return ::exchange(programPort, "GET " + path + " HTTP/1.1\r\n\r\n");
}

HttpAnswer postJson(const std::string& path, const std::string& body) {
    return ::exchange(programPort,
                      "POST " + path +
                          " HTTP/1.1\r\nContent-Type: application/json; charset=utf-8\r\n"
                          "Content-Length: " +
                          std::to_string(body.size()) + "\r\n\r\n" + body);
}

class ProgramTest : public ::testing::Test {
protected:
    std::map<std::string, std::string> environment() const {
        return {{"XDG_DATA_HOME", dataHome.path().string()},
                {"XDG_RUNTIME_DIR", runtimeDir.path().string()}};
    }

    void installCertificate() {
        fs::copy_file(testCertificateFile(), work.path() / "server.crt");
        fs::copy_file(testKeyFile(), work.path() / "server.key");
    }

    // The log of the run as "<severity> : <message>" lines, time stamps left out.
    std::vector<std::string> logLines() const {
        std::vector<std::string> lines;
        fs::ifstream log(dataHome.path() / "TrivaneFiscalProxy" / "Logs" / "log_0.txt");
        std::string line;
        while (std::getline(log, line)) {
            const std::size_t severity = line.find("] <");
            if (severity == std::string::npos)
                continue;
            std::string entry = line.substr(severity + 3);
            entry.erase(entry.find('>'), 1);
            if (!entry.empty() && entry.back() == ' ')
                entry.pop_back();
            lines.push_back(entry);
        }
        return lines;
    }

    // A configuration that names a printer, as the web application saves it.
    void configurePrinter(const std::string& port) {
        const fs::path folder = dataHome.path() / "TrivaneFiscalProxy";
        fs::create_directories(folder);
        fs::ofstream(folder / "config.json")
            << "{\"dontPrintNipOnFiscalPrinter\":false,\"isValid\":true,\"paymentMapping\":[],"
               "\"port\":\""
            << port
            << "\",\"printInvoicesOnFiscalPrinter\":false,\"questionBeforeFiscalization\":false,"
               "\"selectedPrinter\":1,\"vatMappingForNoObligation\":0}\n";
    }

    // Looks at the log until it holds `line`; false when the patience ran out first.
    bool awaitLogLine(const std::string& line) const {
        const auto deadline = std::chrono::steady_clock::now() + processPatience;
        while (std::chrono::steady_clock::now() < deadline) {
            const std::vector<std::string> lines = logLines();
            if (std::find(lines.begin(), lines.end(), line) != lines.end())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    bool awaitLogLineStartingWith(const std::string& prefix) const {
        const auto deadline = std::chrono::steady_clock::now() + processPatience;
        while (!logHasLineStartingWith(prefix)) {
            if (std::chrono::steady_clock::now() >= deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }

    bool logHasLineStartingWith(const std::string& prefix) const {
        for (const std::string& line : logLines())
            if (startsWith(line, prefix))
                return true;
        return false;
    }

    TemporaryFolder work;
    TemporaryFolder dataHome;
    TemporaryFolder runtimeDir;
};

TEST_F(ProgramTest, MissingKeyEndsWithTheMissingFilesErrorAndItsFourLogLines) {
    ProgramProcess program(work.path(), environment());

    EXPECT_EQ(program.awaitExit(), 1);
    EXPECT_EQ(program.standardError(), missingFilesMessage);
    const std::vector<std::string> lines = logLines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "info : Starting application.");
    EXPECT_TRUE(startsWith(lines[1], "info : System version ")) << lines[1];
    EXPECT_EQ(lines[2], "info : Checking certificates");
    EXPECT_EQ(lines[3], "fatal : Certificate files not found...");
}

// A link that points at itself cannot be examined: looking at it is a file-system error,
// which the start-up guard reports as a startup error.
TEST_F(ProgramTest, CertificateIsNotExaminedWhenTheKeyIsMissing) {
    fs::create_symlink("server.crt", work.path() / "server.crt");
    ProgramProcess program(work.path(), environment());

    EXPECT_EQ(program.awaitExit(), 1);
    EXPECT_EQ(program.standardError(), missingFilesMessage);
    EXPECT_FALSE(logHasLineStartingWith("fatal : Startup error"));
}

TEST_F(ProgramTest, CertificateThatCannotBeExaminedIsAStartupError) {
    fs::copy_file(testKeyFile(), work.path() / "server.key");
    fs::create_symlink("server.crt", work.path() / "server.crt");
    ProgramProcess program(work.path(), environment());

    EXPECT_EQ(program.awaitExit(), 1);
    EXPECT_EQ(program.standardError(), startupErrorMessage);
    EXPECT_TRUE(logHasLineStartingWith("fatal : Startup error: exception = "));
}

TEST_F(ProgramTest, MissingCertificateBesideAPresentKeyIsReported) {
    fs::copy_file(testKeyFile(), work.path() / "server.key");
    ProgramProcess program(work.path(), environment());

    EXPECT_EQ(program.awaitExit(), 1);
    EXPECT_EQ(program.standardError(), missingFilesMessage);
    EXPECT_EQ(logLines().back(), "fatal : Certificate files not found...");
}

// The files are looked up in the working folder, not beside the program.
TEST_F(ProgramTest, CertificateFilesInAnotherFolderCountAsMissing) {
    installCertificate();
    TemporaryFolder elsewhere;
    ProgramProcess program(elsewhere.path(), environment());

    EXPECT_EQ(program.awaitExit(), 1);
    EXPECT_EQ(program.standardError(), missingFilesMessage);
}

TEST_F(ProgramTest, DirectoryNamedLikeTheCertificatePassesTheCheck) {
    fs::copy_file(testKeyFile(), work.path() / "server.key");
    fs::create_directory(work.path() / "server.crt");
    ProgramProcess program(work.path(), environment());

    EXPECT_EQ(program.awaitExit(), 1);
    EXPECT_EQ(program.standardError(), startupErrorMessage);
    EXPECT_FALSE(logHasLineStartingWith("fatal : Certificate files not found..."));
    EXPECT_TRUE(logHasLineStartingWith("fatal : Startup error: exception = "));
}

TEST_F(ProgramTest, UnloadableCertificateEndsInTheStartupError) {
    installCertificate();
    fs::ofstream(work.path() / "server.crt", std::ios::trunc) << "not a certificate\n";
    ProgramProcess program(work.path(), environment());

    EXPECT_EQ(program.awaitExit(), 1);
    EXPECT_EQ(program.standardError(), startupErrorMessage);
    const std::vector<std::string> lines = logLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(startsWith(lines.back(), "fatal : Startup error: exception = ")) << lines.back();
    EXPECT_EQ(program.standardOutput(), "");
}

TEST_F(ProgramTest, SecondInstanceEndsSilentlyWhileTheFirstKeepsServing) {
    installCertificate();
    ProgramProcess first(work.path(), environment());
    ASSERT_TRUE(first.awaitOutputLine(startedDisconnected)) << first.standardError();

    TemporaryFolder secondWork;
    TemporaryFolder secondDataHome;
    std::map<std::string, std::string> secondEnvironment = environment();
    secondEnvironment["XDG_DATA_HOME"] = secondDataHome.path().string();
    ProgramProcess second(secondWork.path(), secondEnvironment);

    EXPECT_EQ(second.awaitExit(), 0);
    EXPECT_EQ(second.standardOutput(), "");
    EXPECT_EQ(second.standardError(), "");
    EXPECT_TRUE(fs::is_empty(secondDataHome.path())) << "the second instance logged";
    const HttpAnswer answer = ::exchange(programPort, "GET /config/version HTTP/1.1\r\n\r\n");
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(answer.body, "\"1.0.0.9\"");
    // Written after the answer while the program runs on, with nothing logged after it.
    EXPECT_TRUE(awaitLogLine("info : REST Request: GET /config/version"));
}

class ProgramEndTest : public ProgramTest, public ::testing::WithParamInterface<int> {};

TEST_P(ProgramEndTest, TerminationSignalEndsInOrderWithExitLast) {
    installCertificate();
    ProgramProcess program(work.path(), environment());
    ASSERT_TRUE(program.awaitOutputLine(startedDisconnected)) << program.standardError();

    program.signal(GetParam());

    EXPECT_EQ(program.awaitExit(), 0);
    EXPECT_EQ(logLines().back(), "info : Exit...");
    EXPECT_EQ(program.standardError(), "");
}

INSTANTIATE_TEST_SUITE_P(Signals, ProgramEndTest, ::testing::Values(SIGTERM, SIGINT),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return info.param == SIGTERM ? "Sigterm" : "Sigint";
                         });

// The start-up connection to a printer that never answers keeps the program from its window
// for the library's wait limit; a signal in that time ends it once the window exists.
TEST_F(ProgramTest, TerminationSignalBeforeTheWindowExistsEndsInOrder) {
    installCertificate();
    VirtualPrinterProcess printer({"--silent-after", "0"});
    configurePrinter(printer.port());
    ProgramProcess program(work.path(), environment());
    ASSERT_TRUE(awaitLogLine("info : Trying to connect with device at " + printer.port()));

    program.signal(SIGTERM);

    EXPECT_EQ(program.awaitExit(), 0);
    EXPECT_EQ(logLines().back(), "info : Exit...");
}

TEST_F(ProgramTest, StandardOutputWithoutAReaderIsDroppedWhileTheProgramServesOn) {
    installCertificate();
    VirtualPrinterProcess printer;
    configurePrinter(printer.port());
    ProgramProcess program(work.path(), environment(), ProgramProcess::Output::ReaderGone);
    ASSERT_TRUE(awaitLogLine("info : Setup handlers..."));

    // Each answer changes the state, which the tray writes on standard output.
    EXPECT_EQ(get("/disconnect").status, 200);
    EXPECT_EQ(postJson("/connect", "\"" + printer.port() + "\"").body, "true");
    EXPECT_EQ(get("/config/version").status, 200);
    program.signal(SIGTERM);

    EXPECT_EQ(program.awaitExit(), 0);
    EXPECT_EQ(logLines().back(), "info : Exit...");
}

TEST_F(ProgramTest, WithoutADataFolderItSaysWhatIsMissingAndEndsWithCode1) {
    installCertificate();
    // With a runtime folder the lock is taken and the log is what fails; without one, the
    // lock already needs the data folder.
    for (bool withRuntimeFolder : {true, false}) {
        std::map<std::string, std::string> bare = environment();
        bare["XDG_DATA_HOME"] = "";
        bare["HOME"] = "";
        if (!withRuntimeFolder)
            bare["XDG_RUNTIME_DIR"] = "";
        ProgramProcess program(work.path(), bare);

        EXPECT_EQ(program.awaitExit(), 1) << withRuntimeFolder;
        EXPECT_EQ(program.standardError(),
                  "neither XDG_DATA_HOME nor HOME names the local data folder\n"
                  "Błąd: Nie można uruchomić aplikacji: nie znaleziono folderu danych aplikacji\n");
    }
}

TEST_F(ProgramTest, NextStartAfterAnOrderlyEndServesAgain) {
    installCertificate();
    {
        ProgramProcess program(work.path(), environment());
        ASSERT_TRUE(program.awaitOutputLine(startedDisconnected)) << program.standardError();
        program.signal(SIGTERM);
        ASSERT_EQ(program.awaitExit(), 0);
    }
    ProgramProcess program(work.path(), environment());
    ASSERT_TRUE(program.awaitOutputLine(startedDisconnected)) << program.standardError();
    EXPECT_EQ(::exchange(programPort, "GET /config/version HTTP/1.1\r\n\r\n").status, 200);
}

TEST_F(ProgramTest, ConfiguredPrinterIsConnectedAtStart) {
    installCertificate();
    VirtualPrinterProcess printer;
    configurePrinter(printer.port());
    ProgramProcess program(work.path(), environment());

    ASSERT_TRUE(program.awaitOutputLine(startedConnected)) << program.standardOutput();
    const HttpAnswer active = get("/config/is_connected_active");
    EXPECT_EQ(active.status, 200);
    EXPECT_EQ(active.body, "true");
}

// The service publishes the state on its server thread; the tray shows it on the main
// thread, in the order published.
TEST_F(ProgramTest, StateChangesReachTheTrayInOrder) {
    installCertificate();
    VirtualPrinterProcess printer;
    configurePrinter(printer.port());
    ProgramProcess program(work.path(), environment());
    ASSERT_TRUE(program.awaitOutputLine(startedConnected)) << program.standardOutput();

    EXPECT_EQ(get("/disconnect").status, 200);
    EXPECT_EQ(postJson("/connect", "\"" + printer.port() + "\"").body, "true");
    EXPECT_EQ(get("/disconnect").status, 200);
    program.signal(SIGTERM);
    ASSERT_EQ(program.awaitExit(), 0);

    EXPECT_EQ(program.standardOutput(), startedConnected + "\n" + nowDisconnected + "\n" +
                                            nowConnected + "\n" + nowDisconnected + "\n");
}

TEST_F(ProgramTest, ReceiptSentToTheProgramIsPrinted) {
    installCertificate();
    VirtualPrinterProcess printer;
    configurePrinter(printer.port());
    ProgramProcess program(work.path(), environment());
    ASSERT_TRUE(program.awaitOutputLine(startedConnected)) << program.standardOutput();

    const HttpAnswer answer = postJson(
        "/printer/print",
        R"({"GrossTotal":12.30,"FiscalPrinterPaymentId":0,"Items":[{"ProductName":"Chleb żytni",)"
        R"("ProductUnitOfMeasurment":"szt","Quantity":1,"ProductCurrencyGrossPrice":12.30,)"
        R"("FiscalPrinterVatRateType":0,"GrossValue":12.30}]})");

    EXPECT_EQ(answer.status, 200) << answer.body;
    EXPECT_EQ(answer.body, "true");
    EXPECT_NE(printer.journal().find("Chleb żytni"), std::string::npos) << printer.journal();
}

// Ending the program while a receipt prints (20 lines at 10 a second) lets it finish: it
// is printed whole, once, and answered before the program ends.
TEST_F(ProgramTest, EndDuringAReceiptFinishesAndAnswersItFirst) {
    installCertificate();
    VirtualPrinterProcess printer({"--print-speed", "10"});
    configurePrinter(printer.port());
    ProgramProcess program(work.path(), environment());
    ASSERT_TRUE(program.awaitOutputLine(startedConnected)) << program.standardOutput();
    std::string items;
    for (int line = 1; line <= 20; ++line)
        items += std::string(line > 1 ? "," : "") + R"({"ProductName":"Bułka )" +
                 std::to_string(line) +
                 R"(","ProductCurrencyGrossPrice":1,"FiscalPrinterVatRateType":0,"GrossValue":1})";
    auto receipt = std::async(std::launch::async, [&] {
        return postJson("/printer/print",
                        R"({"GrossTotal":20,"FiscalPrinterPaymentId":0,"Items":[)" + items + "]}");
    });
    ASSERT_TRUE(awaitLogLine("info : Printing fiscal receipt."));

    program.signal(SIGTERM);

    EXPECT_EQ(program.awaitExit(), 0);
    EXPECT_EQ(receipt.get().body, "true");
    const std::string journal = printer.journal();
    EXPECT_NE(journal.find("Bułka 20"), std::string::npos) << journal;
    EXPECT_EQ(journal.find("END RECEIPT"), journal.rfind("END RECEIPT"));
    EXPECT_EQ(logLines().back(), "info : Exit...");
}

// The user's main browser store under home, made empty.
fs::path emptyNssStore(const fs::path& home) {
    const fs::path store = home / ".pki" / "nssdb";
    fs::create_directories(store);
    platform::runAndWait("certutil", {"-N", "-d", "sql:" + store.string(), "--empty-password"});
    return store;
}

// A pair 397 days long made as if on an earlier day, so that daysLeft days of it are left;
// its authority trusted in store.
void agedPair(const fs::path& folder, std::time_t daysLeft, const fs::path& store) {
    const certificate::CertificateFolder files(folder.string());
    fs::remove(folder / "server.crt");
    certificate::makeOrKeep(files, std::time(nullptr) -
                                       (certificate::validityDays - daysLeft) * 24 * 60 * 60);
    platform::runAndWait("certutil", {"-A", "-d", "sql:" + store.string(), "-n",
                                      certificate::commonName(files.authority().get()), "-t", "C,,",
                                      "-i", (folder / "ca.crt").string()});
}

std::string authorityName(const fs::path& folder) {
    return certificate::commonName(
        certificate::CertificateFolder(folder.string()).authority().get());
}

// What the store trusts, by the authorities' names.
std::string trusted(const fs::path& store) {
    return platform::runAndWait("certutil", {"-L", "-d", "sql:" + store.string()}).output;
}

// The program renews a pair that ends within 30 days at start, and one that cannot be served
// before it listens, saying why; the renewed pair is served, and the browsers' store then
// trusts its authority and no longer the old one.
TEST_F(ProgramTest, PairNearItsEndIsRenewedAndServedAndTheOldAuthorityLeavesTheStore) {
    const auto keyOfAnother = [this] {
        fs::copy_file(work.path() / "ca.crt", work.path() / "server.key",
                      fs::copy_options::overwrite_existing);
    };
    const auto emptyCertificate = [this] {
        fs::ofstream(work.path() / "server.crt", std::ios::trunc);
    };
    const struct {
        std::time_t daysLeft;
        std::function<void()> spoil;
        std::string reason;
        bool firstConnectionGetsTheNewPair;
    } cases[] = {
        {10, [] {}, "it ends in ", false},
        {-1, [] {}, "server.crt has expired", true},
        {certificate::validityDays + 10, [] {}, "server.crt is not valid yet", true},
        {300, keyOfAnother, "server.key is not the key of server.crt", true},
        {300, emptyCertificate, "server.crt holds no certificate", true},
    };
    for (const auto& test : cases) {
        TemporaryFolder home;
        const fs::path store = emptyNssStore(home.path());
        agedPair(work.path(), test.daysLeft, store);
        test.spoil();
        const std::string old = authorityName(work.path());
        const std::string oldThumbprint = certificate::thumbprint(
            certificate::CertificateFolder(work.path().string()).authority().get());
        std::map<std::string, std::string> variables = environment();
        variables["HOME"] = home.path().string();
        ProgramProcess program(work.path(), variables);
        ASSERT_TRUE(program.awaitOutputLine(startedDisconnected)) << program.standardError();
        const std::string authority = (work.path() / "ca.crt").string();
        if (test.firstConnectionGetsTheNewPair) {
            EXPECT_NO_THROW(TlsClient(programPort, TlsVersion::Any, nullptr, authority))
                << "served before the renewal";
        }

        ASSERT_TRUE(awaitLogLineStartingWith("info : The replaced certificate authority was "
                                             "removed: removed: the replaced authority " +
                                             oldThumbprint))
            << test.reason;
        EXPECT_TRUE(logHasLineStartingWith("info : Renewing the certificate: " + test.reason));
        const std::string renewed = authorityName(work.path());
        EXPECT_NE(renewed, old);
        TlsClient client(programPort, TlsVersion::Any, nullptr, authority);
        std::string chain;
        fs::load_string_file(work.path() / "server.crt", chain);
        EXPECT_TRUE(startsWith(chain, client.peerCertificate()));
        EXPECT_NE(trusted(store).find(renewed), std::string::npos) << trusted(store);
        EXPECT_EQ(trusted(store).find(old), std::string::npos) << trusted(store);
        client.send("GET /status HTTP/1.1\r\n\r\n");
        const std::string status = client.receive().body;
        // 397 days from now, less the seconds since the pair was made.
        EXPECT_GE(std::stol(status.substr(status.find("\"daysLeft\":") + 11)), 396) << status;
        program.signal(SIGTERM);
        EXPECT_EQ(program.awaitExit(), 0);
    }
}

// When the new authority cannot be trusted, the old pair stays in use, the log says why and
// the tray warns with the days left, or, for a pair that cannot be served, that it cannot;
// the page says so too.
TEST_F(ProgramTest, RenewalThatCannotTrustKeepsThePairAndWarnsInTheTray) {
    const std::string tray = "Trivane Ledvik Drukarki fiskalne: Certyfikat dla "
                             "https://localhost:9003 ";
    const std::string notRenewed =
        ". Nie udało się go odnowić (szczegóły w dzienniku); kolejna próba jutro.";
    const struct {
        std::time_t daysLeft;
        std::string warning; // after the tray's start, "" for the days left
        bool usable;
    } cases[] = {{5, "", true},
                 {certificate::validityDays + 10,
                  "nie nadaje się do użycia (szczegóły w dzienniku)", false}};
    for (const auto& test : cases) {
        TemporaryFolder home;
        const fs::path store = emptyNssStore(home.path());
        agedPair(work.path(), test.daysLeft, store);
        fs::ofstream(store / "cert9.db", std::ios::trunc) << "not a database";
        std::string before;
        fs::load_string_file(work.path() / "server.crt", before);
        std::map<std::string, std::string> variables = environment();
        variables["HOME"] = home.path().string();
        ProgramProcess program(work.path(), variables);

        ASSERT_TRUE(awaitLogLineStartingWith("error : The certificate was not renewed"));
        const std::string renewing = "info : Renewing the certificate: it ends in ";
        std::string warning = test.warning;
        for (const std::string& line : logLines())
            if (startsWith(line, renewing))
                warning = "wygasa za " +
                          line.substr(renewing.size(),
                                      line.find(' ', renewing.size()) - renewing.size()) +
                          " dni";
        EXPECT_TRUE(program.awaitOutputLine(tray + warning + notRenewed))
            << program.standardOutput();
        std::string after;
        fs::load_string_file(work.path() / "server.crt", after);
        EXPECT_EQ(after, before);
        // A browser would refuse a pair not valid yet; curl is told not to look.
        const std::string status = platform::runAndWait("curl", {"--silent", "--insecure",
                                                                 "https://localhost:9003/status"})
                                       .output;
        EXPECT_NE(status.find(std::string("\"usable\":") + (test.usable ? "true" : "false")),
                  std::string::npos)
            << status;
        program.signal(SIGTERM);
        EXPECT_EQ(program.awaitExit(), 0);
        fs::remove_all(dataHome.path() / "TrivaneFiscalProxy");
    }
}

} // namespace
