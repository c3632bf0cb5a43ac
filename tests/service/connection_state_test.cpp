// The connection's state as the routes change it and the signal announces it, with the
// virtual printer on TCP.
#include "service/posnet_exception.h"
#include "service_test_support.h"
#include "support/temporary_folder.h"
#include "support/test_certificate.h"
#include "support/virtual_printer_process.h"
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace {

using States = std::vector<FiscalPrinterBase::State>;
const FiscalPrinterBase::State connectedState = FiscalPrinterBase::Connected;
const FiscalPrinterBase::State disconnectedState = FiscalPrinterBase::Disconnected;

class ConnectionStateTest : public ::testing::Test {
protected:
    std::string quoted(const VirtualPrinterProcess& printer) {
        return "\"" + printer.port() + "\"";
    }

    ServiceTestEnvironment environment;
    LogCapture log;
};

TEST_F(ConnectionStateTest, ConnectionWithoutConfigurationIsOnlySeenByTheActiveQuestion) {
    VirtualPrinterProcess printer;
    RunningService service;

    EXPECT_EQ(service.post("/connect", quoted(printer)).body, "true");
    EXPECT_EQ(service.get("/config/is_connected").body, "false");
    EXPECT_EQ(service.get("/config/is_configured").body, "false");
    EXPECT_EQ(service.get("/config/is_connected_active").body, "true");

    EXPECT_EQ(service.states(), (States{connectedState}));
    EXPECT_EQ(countLines(log, "info : Posnet transaction: sid"), 1u);
}

TEST_F(ConnectionStateTest, ConfiguredServiceConnectsAtStartAndReconnectsOnEveryQuestion) {
    VirtualPrinterProcess printer;
    environment.writeConfiguration(configurationFile(printer.port(), 1));
    RunningService service;
    EXPECT_TRUE(service.connected());

    EXPECT_EQ(service.get("/config/is_connected").body, "true");
    EXPECT_EQ(service.get("/config/is_connected_active").body, "true");

    EXPECT_EQ(service.states(),
              (States{disconnectedState, connectedState, disconnectedState, connectedState}));
    EXPECT_EQ(countLines(log, "info : Device disconnected."), 2u);
}

TEST_F(ConnectionStateTest, NoPrinterSelectedMeansNoConnectionAtStart) {
    VirtualPrinterProcess printer;
    environment.writeConfiguration(configurationFile(printer.port(), 0));
    RunningService service;

    EXPECT_FALSE(service.connected());
    EXPECT_EQ(countLines(log, "info : Trying to connect with device at " + printer.port()), 0u);
}

TEST_F(ConnectionStateTest, UnreachableConfiguredPrinterLetsTheServiceStart) {
    environment.writeConfiguration(configurationFile("/dev/ttyUSB97", 1));
    RunningService service;

    EXPECT_FALSE(service.connected());
    EXPECT_EQ(service.get("/config/version").body, "\"1.0.0.9\"");
    EXPECT_EQ(service.get("/config/reload").body, "null");
}

TEST_F(ConnectionStateTest, EmptyConfiguredPortIsOnlyTriedByReload) {
    environment.writeConfiguration(configurationFile("", 1));
    RunningService service;
    const size_t attemptsAtStart = countLines(log, "info : Trying to connect with device at ");

    EXPECT_EQ(service.get("/config/is_configured").body, "true");
    EXPECT_EQ(service.get("/config/is_connected").body, "false");
    EXPECT_EQ(countLines(log, "info : Trying to connect with device at "), attemptsAtStart);
    EXPECT_EQ(service.get("/config/reload").body, "null");
    EXPECT_EQ(countLines(log, "info : Trying to connect with device at "), attemptsAtStart + 1);
}

// A terminal of someone's session, as a port text could name it.
class PseudoTerminal {
public:
    PseudoTerminal() : master(::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK)) {
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0 ||
            (terminal = ::open(::ptsname(master), O_RDWR | O_NOCTTY)) < 0) {
            throw std::runtime_error("no pseudo-terminal");
        }
        ::tcgetattr(terminal, &modeAtStart);
    }
    ~PseudoTerminal() {
        ::close(terminal);
        ::close(master);
    }
    std::string path() const { return ::ptsname(master); }
    bool wasWrittenTo() const {
        pollfd entry{master, POLLIN, 0};
        return ::poll(&entry, 1, 0) > 0 && (entry.revents & POLLIN) != 0;
    }
    bool modeChanged() const {
        termios mode{};
        ::tcgetattr(terminal, &mode);
        return mode.c_lflag != modeAtStart.c_lflag || mode.c_cflag != modeAtStart.c_cflag ||
               cfgetospeed(&mode) != cfgetospeed(&modeAtStart);
    }

private:
    int master;
    int terminal = -1;
    termios modeAtStart{};
};

TEST_F(ConnectionStateTest, PortTextsThatCanNameSomethingElseThanAPrinterOpenNothing) {
    PseudoTerminal terminal;
    TemporaryFolder folder;
    const std::string link = (folder.path() / "printer").string();
    boost::filesystem::create_symlink(terminal.path(), link);
    const std::string file = (folder.path() / "ttyS0").string();
    std::ofstream(file) << "kept";
    environment.writeConfiguration(configurationFile(link, 1));
    RunningService service;

    for (const std::string& port : {terminal.path(), link, file, std::string("/dev/null"),
                                    std::string("COM0"), std::string("COM25")}) {
        const HttpAnswer answer = service.post("/connect", "\"" + port + "\"");
        EXPECT_EQ(answer.status, 200) << port;
        EXPECT_EQ(answer.body, "false") << port;
    }
    EXPECT_EQ(service.get("/config/is_connected").body, "false");
    EXPECT_EQ(service.get("/config/reload").body, "null");

    EXPECT_FALSE(terminal.wasWrittenTo());
    EXPECT_FALSE(terminal.modeChanged());
    std::ifstream kept(file);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "kept");
    EXPECT_EQ(countLines(log, "error : Port refused: \"COM25\" is not COM1..COM24, "
                              "tcp://HOST:PORT or the path of a serial device"),
              1u);
    EXPECT_EQ(countLines(log, "error : Port refused: \"" + link + "\" leads to " + terminal.path() +
                                  ", which is not a serial device (/dev/ttyS*, /dev/ttyUSB*, "
                                  "/dev/ttyACM*, /dev/rfcomm*)"),
              4u); // at start, on "/connect", "/config/is_connected" and "/config/reload"
    EXPECT_FALSE(log.contains("error : Posnet exception"));
    EXPECT_TRUE(service.states().empty());
}

TEST_F(ConnectionStateTest, PrinterThatChattersWithoutAnsweringIsNotConnected) {
    VirtualPrinterProcess printer({"--chatter-after", "0"});
    RunningService service;

    EXPECT_EQ(service.post("/connect", quoted(printer)).body, "false");
    EXPECT_EQ(service.get("/config/version").body, "\"1.0.0.9\"");
    EXPECT_FALSE(service.connected());
}

TEST_F(ConnectionStateTest, SecondDisconnectDoesNothing) {
    VirtualPrinterProcess printer;
    RunningService service;
    service.post("/connect", quoted(printer));

    EXPECT_EQ(service.get("/disconnect").body, "null");
    EXPECT_EQ(service.get("/disconnect").body, "null");

    EXPECT_EQ(service.states(), (States{connectedState, disconnectedState}));
    EXPECT_EQ(countLines(log, "info : Device disconnected."), 1u);
}

TEST_F(ConnectionStateTest, ReloadWithThePrinterGoneLeavesTheServiceDisconnected) {
    auto printer = std::make_unique<VirtualPrinterProcess>();
    environment.writeConfiguration(configurationFile(printer->port(), 1));
    RunningService service;
    printer.reset();

    EXPECT_EQ(service.get("/config/reload").body, "null");

    EXPECT_FALSE(service.connected());
    EXPECT_EQ(service.states(), (States{disconnectedState}));
}

TEST_F(ConnectionStateTest, PrinterNotReadyIsNotConnected) {
    VirtualPrinterProcess printer({"--mechanism-status", "1"});
    RunningService service;

    EXPECT_EQ(service.post("/connect", quoted(printer)).body, "false");

    EXPECT_FALSE(service.connected());
    EXPECT_TRUE(service.states().empty());
}

TEST_F(ConnectionStateTest, SilentPrinterClosesTheConnection) {
    VirtualPrinterProcess printer({"--silent-after", "2"});
    RunningService service;
    service.post("/connect", quoted(printer));

    const HttpAnswer lost = service.get("/config/is_connected_active");

    EXPECT_EQ(lost.status, 500);
    EXPECT_EQ(parseJson(lost.body)["exception"]["code"], 8);
    EXPECT_EQ(service.states(), (States{connectedState, disconnectedState}));
    EXPECT_EQ(service.get("/config/is_connected_active").body, "false");
}

TEST_F(ConnectionStateTest, PrinterRefusalIsAnsweredInPolish) {
    VirtualPrinterProcess printer({"--refuse", "sid:1:2000"});
    RunningService service;
    service.post("/connect", quoted(printer));

    const HttpAnswer refused = service.get("/config/is_connected_active");

    EXPECT_EQ(refused.status, 500);
    EXPECT_EQ(refused.reason, "Internal Server Error");
    const std::string text = "Błąd pola stawki VAT (błędny numer lub nieaktywna stawka)";
    EXPECT_EQ(parseJson(refused.body),
              parseJson(R"({"type":"POSNET","exception":{"code":2000,"message":")" + text +
                        R"(","description":"POS_GetRequestStatus"}})"));
    EXPECT_EQ(countLines(log, "error : Posnet exception: 2000 " + text), 1u);
    EXPECT_TRUE(service.connected());
}

TEST_F(ConnectionStateTest, SavingWithoutAPrinterSelectedDisconnects) {
    VirtualPrinterProcess printer;
    RunningService service;
    service.post("/connect", quoted(printer));

    EXPECT_EQ(service.post("/config/save", configurationFile(printer.port(), 0)).body, "null");

    EXPECT_EQ(service.states(), (States{connectedState, disconnectedState}));
    EXPECT_EQ(service.post("/config/save", configurationFile(printer.port(), 1)).body, "null");
    EXPECT_FALSE(service.connected());
    EXPECT_EQ(service.states(), (States{connectedState, disconnectedState}));
}

TEST_F(ConnectionStateTest, ConfigurationSavedDuringTheRunIsInForce) {
    VirtualPrinterProcess printer;
    RunningService service;
    ASSERT_EQ(service.get("/config/is_configured").body, "false");

    EXPECT_EQ(service.post("/config/save", configurationFile(printer.port(), 1)).body, "null");
    EXPECT_FALSE(service.connected());
    EXPECT_EQ(service.get("/config/is_configured").body, "true");
    EXPECT_EQ(service.get("/config/reload").status, 200);

    EXPECT_TRUE(service.connected());
    EXPECT_EQ(service.states(), (States{connectedState}));
}

// Without a route that sends commands on its own yet, the driver is called directly.
TEST_F(ConnectionStateTest, CommandAfterALostLineFindsNoConnection) {
    VirtualPrinterProcess printer({"--silent-after", "2"});
    HttpServer server(testServerSettings());
    FiscalPrinterBase service(server);
    ASSERT_TRUE(service.connect(printer.port()));

    EXPECT_THROW(service.runTransaction("sid", ""), PosnetException);
    try {
        service.runTransaction("sid", "");
        FAIL() << "the command was sent";
    } catch (const RestException& exception) {
        EXPECT_EQ(exception.status, 500);
        EXPECT_EQ(exception.body, "Brak połączenia z drukarką");
    }
    EXPECT_EQ(countLines(log, "info : Posnet transaction: sid"), 2u);
}

} // namespace
