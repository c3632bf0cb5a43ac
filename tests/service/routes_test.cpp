// Each route through the real HTTPS listener, with the virtual printer on a pseudo-terminal.
#include "platform/serial_ports.h"
#include "service/program_version.h"
#include "service/web_application.h"
#include "service_test_support.h"
#include "support/temporary_folder.h"
#include "support/virtual_printer_process.h"
#include <boost/algorithm/string/case_conv.hpp>
#include <boost/filesystem/fstream.hpp>
#include <boost/filesystem/operations.hpp>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <map>
#include <regex>
#include <stdexcept>
#include <stdlib.h>
#include <unistd.h>
#include <vector>

namespace {

using States = std::vector<FiscalPrinterBase::State>;

// A serial device folder for the listing: ttyS0, ttyS4, ttyS23 and ttyS24 link to
// pseudo-terminals of their own, and ttyS2 is a plain file, which is no terminal.
class SerialDeviceFolder {
public:
    SerialDeviceFolder() {
        for (int tty : {0, 4, 23, 24}) {
            const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
            if (terminal < 0 || ::grantpt(terminal) != 0 || ::unlockpt(terminal) != 0) {
                throw std::runtime_error("no pseudo-terminal");
            }
            terminals.push_back(terminal);
            boost::filesystem::create_symlink(::ptsname(terminal), linkPath(tty));
        }
        boost::filesystem::ofstream(linkPath(2)) << "not a terminal";
        platform::setSerialDeviceFolder(folder.path().string());
    }
    ~SerialDeviceFolder() {
        platform::setSerialDeviceFolder("/dev");
        for (int terminal : terminals) {
            ::close(terminal);
        }
    }

private:
    boost::filesystem::path linkPath(int tty) const {
        return folder.path() / ("ttyS" + std::to_string(tty));
    }

    TemporaryFolder folder;
    std::vector<int> terminals;
};

class RoutesTest : public ::testing::Test {
protected:
    std::string printerPort() const { return "\"" + printer.port() + "\""; }

    ServiceTestEnvironment environment;
    VirtualPrinterProcess printer;
    SerialDeviceFolder serialDevices;
    RunningService service;
};

struct Route {
    const char* path;
    const char* allowed;
};

// The path and the one method each route is registered for.
const Route routeTable[] = {
    {"/config/serial_port_list", "GET,OPTIONS"},
    {"/connect", "POST,OPTIONS"},
    {"/disconnect", "GET,OPTIONS"},
    {"/config/reload", "GET,OPTIONS"},
    {"/printer/print", "POST,OPTIONS"},
    {"/config/version", "GET,OPTIONS"},
    {"/config/is_configured", "GET,OPTIONS"},
    {"/config/is_connected", "GET,OPTIONS"},
    {"/config/is_connected_active", "GET,OPTIONS"},
    {"/config/get", "GET,OPTIONS"},
    {"/config/save", "POST,OPTIONS"},
    {"/printer/get_vat_mapping", "GET,OPTIONS"},
    {"/daily_report", "GET,OPTIONS"},
    {"/config/firefox", "GET,OPTIONS"},
};

TEST_F(RoutesTest, EveryRouteIsRegisteredForItsMethod) {
    for (const Route& route : routeTable) {
        const HttpAnswer answer = service.options(route.path);
        EXPECT_EQ(answer.status, 200) << route.path;
        EXPECT_EQ(answer.header("Allow"), route.allowed) << route.path;
    }
}

// The document served names every route the program answers, each with exactly its methods,
// and the program answers every route the document names for those methods.
TEST_F(RoutesTest, OpenApiDocumentDescribesExactlyTheRoutesAnswered) {
    const HttpAnswer answer = service.get("/openapi.json");
    ASSERT_EQ(answer.status, 200);
    EXPECT_EQ(answer.header("Content-Type"), "application/json");
    const Json::Value document = parseJson(answer.body);
    EXPECT_EQ(document["info"]["version"], PROGRAM_VERSION_TEXT);
    const Json::Value& paths = document["paths"];
    std::map<std::string, std::vector<std::string>> documented;
    for (const std::string& path : paths.getMemberNames()) {
        std::string allowed;
        for (const std::string& method : paths[path].getMemberNames()) {
            documented[path].push_back(boost::algorithm::to_upper_copy(method));
            allowed += documented[path].back() + ",";
        }
        EXPECT_EQ(service.options(path).header("Allow"), allowed + "OPTIONS") << path;
    }
    EXPECT_EQ(documented, service.routeTable());
}

TEST_F(RoutesTest, SerialPortListNamesTheTerminalsOfComOneToTwentyFourInOrder) {
    const HttpAnswer answer = service.get("/config/serial_port_list");

    ASSERT_EQ(answer.status, 200);
    EXPECT_EQ(parseJson(answer.body), parseJson(R"(["COM1","COM5","COM24"])"));
}

TEST_F(RoutesTest, ConnectOpensThePrinterNamedInTheBody) {
    const HttpAnswer answer = service.post("/connect", printerPort());

    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(answer.body, "true");
    EXPECT_EQ(answer.header("Content-Type"), "application/json");
    EXPECT_EQ(service.states(), (States{FiscalPrinterBase::Connected}));
}

TEST_F(RoutesTest, ConnectRefusesABodyThatIsNotAString) {
    ASSERT_EQ(service.post("/connect", printerPort()).body, "true");
    for (const char* body : {"3", "{\"port\":\"COM3\"}", "[\"COM3\"]", "true", "null", ""}) {
        const HttpAnswer answer = service.post("/connect", body);

        EXPECT_EQ(answer.status, 400) << body;
        EXPECT_EQ(answer.reason, "Bad Request");
        EXPECT_EQ(parseJson(answer.body)["exception"], "Bad Request");
    }
    EXPECT_EQ(service.states(), (States{FiscalPrinterBase::Connected}));
    EXPECT_TRUE(service.connected());
}

TEST_F(RoutesTest, ConnectToAMissingDeviceAnswersTheLibraryError) {
    const HttpAnswer answer = service.post("/connect", "\"/dev/ttyUSB97\"");

    EXPECT_EQ(answer.status, 500);
    EXPECT_EQ(answer.reason, "Internal Server Error");
    const Json::Value body = parseJson(answer.body);
    EXPECT_EQ(body["type"], "POSNET");
    EXPECT_EQ(body["exception"]["description"], "POS_OpenDevice()");
    EXPECT_EQ(body["exception"]["message"], "Nie można otworzyć portu drukarki");
    EXPECT_TRUE(service.states().empty());
    EXPECT_FALSE(service.connected());
}

TEST_F(RoutesTest, VersionIsTheProgramVersion) {
    EXPECT_EQ(service.get("/config/version").body, "\"1.0.0.9\"");
}

TEST_F(RoutesTest, ConfigurationWithoutFileIsTheDefaults) {
    const HttpAnswer answer = service.get("/config/get");

    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(answer.body, "{\"dontPrintNipOnFiscalPrinter\":false,\"isValid\":false,"
                           "\"paymentMapping\":[],\"port\":\"\",\"printInvoicesOnFiscalPrinter\":"
                           "false,\"questionBeforeFiscalization\":false,\"selectedPrinter\":0,"
                           "\"vatMappingForNoObligation\":0}");
}

// The first required key that is missing or of another type is the one named.
TEST_F(RoutesTest, SaveNamesTheFirstBadRequiredKey) {
    const struct {
        const char* remove;
        const char* replace;
        Json::Value with;
        const char* message;
    } cases[] = {
        {"port", nullptr, {}, "required port param as string"},
        {nullptr, "port", 3, "required port param as string"},
        {nullptr, "selectedPrinter", "1", "required selectedPrinter param as int"},
        {nullptr, "selectedPrinter", 1.5, "required selectedPrinter param as int"},
        {"questionBeforeFiscalization",
         nullptr,
         {},
         "required questionBeforeFiscalization param as bool"},
        {nullptr, "printInvoicesOnFiscalPrinter", 1,
         "required printInvoicesOnFiscalPrinter param as bool"},
        {"dontPrintNipOnFiscalPrinter", "selectedPrinter", "x",
         "required selectedPrinter param as int"},
        {"dontPrintNipOnFiscalPrinter",
         nullptr,
         {},
         "required dontPrintNipOnFiscalPrinter param as bool"},
    };
    for (const auto& broken : cases) {
        Json::Value body = parseJson(configurationFile("COM3", 1));
        if (broken.remove != nullptr) {
            body.removeMember(broken.remove);
        }
        if (broken.replace != nullptr) {
            body[broken.replace] = broken.with;
        }
        const HttpAnswer answer = service.post("/config/save", body.toStyledString());

        EXPECT_EQ(answer.status, 400) << broken.message;
        EXPECT_EQ(answer.reason, "Bad Request");
        EXPECT_EQ(parseJson(answer.body), broken.message);
    }
    EXPECT_EQ(parseJson(service.post("/config/save", "").body), "required port param as string");
    EXPECT_FALSE(boost::filesystem::exists(environment.folder() / "config.json"));
    EXPECT_EQ(parseJson(service.get("/config/get").body)["port"], "");
}

TEST_F(RoutesTest, SaleIsValidatedBeforeTheOperationRuns) {
    EXPECT_EQ(service.post("/printer/print", "{}").status, 400);
}

// A link in a mail opens as a typed address does; neither is the web application.
TEST_F(RoutesTest, LinksAndOtherSitesReachOnlyTheConfigurationPageRedirect) {
    ASSERT_EQ(service.post("/connect", printerPort()).body, "true");
    const std::string image = "Sec-Fetch-Site: cross-site\r\nSec-Fetch-Mode: no-cors\r\n"
                              "Sec-Fetch-Dest: image\r\n";
    const std::string navigation = "Sec-Fetch-Mode: navigate\r\nSec-Fetch-Dest: document\r\n";
    const std::string link = "Sec-Fetch-Site: cross-site\r\n" + navigation;
    const std::string typed = "Sec-Fetch-Site: none\r\nSec-Fetch-User: ?1\r\n" + navigation;
    const struct {
        const char* path;
        std::string headers;
        int status;
    } requests[] = {
        {"/daily_report", image, 403},
        {"/daily_report", link, 403},
        {"/daily_report", typed, 403},
        {"/disconnect", typed, 403},
        {"/config/reload", typed, 403},
        {"/config/firefox", link, 302},
        // Old browsers and mail programs, which name neither origin nor site.
        {"/daily_report", "User-Agent: Mozilla/4.0 (compatible; MSIE 7.0)\r\n", 403},
        {"/disconnect", "Accept: image/*\r\n", 403},
        {"/config/reload", "Accept: text/html\r\n", 403},
        {"/config/firefox", typed, 302},
    };
    for (const auto& request : requests) {
        EXPECT_EQ(service.get(request.path, request.headers).status, request.status)
            << request.path << "\n"
            << request.headers;
    }
    EXPECT_EQ(printer.journal(), "");
    EXPECT_TRUE(service.connected());
}

TEST_F(RoutesTest, TheWebApplicationsOwnOriginIsServed) {
    const HttpAnswer answer = service.send("GET /config/version HTTP/1.1\r\n"
                                           "Origin: https://ledvik.trivane.pl\r\n\r\n");
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(answer.header("Access-Control-Allow-Origin"), "*");
    EXPECT_EQ(service
                  .send("GET /config/version HTTP/1.1\r\n"
                        "Origin: https://ledvik.trivane.pl.evil.example\r\n\r\n")
                  .status,
              403);
}

TEST_F(RoutesTest, FirefoxRedirectsToTheConfigurationPage) {
    const HttpAnswer answer = service.get("/config/firefox");

    EXPECT_EQ(answer.status, 302);
    EXPECT_EQ(answer.reason, "Found");
    EXPECT_EQ(answer.header("Location"), "https://ledvik.trivane.pl/#/configurationfiscalprinter");
    EXPECT_EQ(answer.body, "null");
}

TEST_F(RoutesTest, OwnPageIsServedWhole) {
    const struct {
        const char* path;
        const char* type;
        const char* part;
    } documents[] = {
        {"/", "text/html; charset=utf-8", "<title>Trivane Ledvik Drukarki fiskalne</title>"},
        {"/page.css", "text/css; charset=utf-8", ".state.connected"},
        {"/page.js", "text/javascript; charset=utf-8", "'/status'"},
        {"/connected.svg", "image/svg+xml", "fill=\"#2e9d4a\""},
        {"/disconnected.svg", "image/svg+xml", "fill=\"#d63a2f\""},
    };
    for (const auto& document : documents) {
        const HttpAnswer answer = service.get(document.path);

        EXPECT_EQ(answer.status, 200) << document.path;
        EXPECT_EQ(answer.header("Content-Type"), document.type);
        EXPECT_NE(answer.body.find(document.part), std::string::npos) << document.path;
        EXPECT_EQ(answer.header("Content-Security-Policy"),
                  "default-src 'self'; frame-ancestors 'none'");
        EXPECT_EQ(answer.header("X-Frame-Options"), "DENY");
        EXPECT_FALSE(answer.hasHeader("Access-Control-Allow-Origin")) << document.path;
    }
    // A path is not a pattern: its dot is a dot.
    EXPECT_EQ(service.get("/pageXcss").status, 404);
    EXPECT_EQ(service.get("/config/version").header("Access-Control-Allow-Origin"), "*");
}

TEST_F(RoutesTest, StatusWithoutConfigurationOrPrinter) {
    const HttpAnswer answer = service.get("/status");

    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(answer.header("Content-Type"), "application/json");
    EXPECT_FALSE(answer.hasHeader("Access-Control-Allow-Origin"));
    const Json::Value status = parseJson(answer.body);
    EXPECT_EQ(status["version"], "1.0.0.9");
    EXPECT_EQ(status["configured"], false);
    EXPECT_EQ(status["connected"], false);
    EXPECT_EQ(status["port"], "");
    EXPECT_TRUE(status["lastCompletedCommand"].isNull());
    EXPECT_TRUE(status["lastRefusal"].isNull());
    EXPECT_EQ(status["certificate"]["subject"], "CN=localhost");
    EXPECT_TRUE(std::regex_match(status["certificate"]["expires"].asString(),
                                 std::regex("20[0-9]{2}-[0-9]{2}-[0-9]{2}T[0-9:]{8}Z")));
    EXPECT_EQ(status["logFolder"], (environment.folder() / "Logs").string());
}

// Another site can neither read the page's answers nor show them in a frame; the page
// itself, a typed address and a followed link are served; "/status" is data, opened by the
// page itself or the user.
TEST_F(RoutesTest, PageAndStatusAnswerOnlyThePageAndNavigations) {
    const std::string port = std::to_string(service.port());
    const std::string crossSite = "Sec-Fetch-Site: cross-site\r\n";
    const std::string navigation = "Sec-Fetch-Mode: navigate\r\nSec-Fetch-Dest: document\r\n";
    const std::string typed = "Sec-Fetch-Site: none\r\n" + navigation;
    const std::string prerender = "Sec-Purpose: prefetch;prerender\r\n";
    enum Answer { Served, RefusedByPage, RefusedByOriginPolicy, RefusedAsPrefetch };
    const struct {
        const char* path;
        std::string headers;
        Answer answer;
    } requests[] = {
        {"/status", "Origin: https://localhost:" + port + "\r\nSec-Fetch-Site: same-origin\r\n",
         Served},
        {"/status", "Origin: https://127.0.0.1:" + port + "\r\n", Served},
        {"/status", "Origin: https://[::1]:" + port + "\r\n", Served},
        {"/status", "Sec-Fetch-Site: same-origin\r\nSec-Fetch-Mode: cors\r\n", Served},
        {"/status", typed, Served},
        {"/", typed, Served},
        {"/", typed + prerender, Served},
        {"/", crossSite + navigation, Served},
        // The web application may call the routes, but not read the page's answers.
        {"/status", "Origin: " + webApplicationOrigin() + "\r\n" + crossSite, RefusedByPage},
        {"/status", crossSite + navigation, RefusedByPage},
        {"/", crossSite + "Sec-Fetch-Mode: navigate\r\nSec-Fetch-Dest: iframe\r\n", RefusedByPage},
        {"/page.js", "sec-fetch-site: cross-site\r\nsec-fetch-mode: no-cors\r\n", RefusedByPage},
        {"/status", typed + prerender, RefusedAsPrefetch},
        {"/status", "Origin: https://evil.example\r\n" + crossSite, RefusedByOriginPolicy},
        {"/status", "Origin: https://localhost:1\r\nSec-Fetch-Site: same-site\r\n",
         RefusedByOriginPolicy},
    };
    for (const auto& request : requests) {
        const HttpAnswer answer = service.get(request.path, request.headers);

        EXPECT_EQ(answer.status, request.answer == Served ? 200 : 403) << request.path << "\n"
                                                                       << request.headers;
        EXPECT_FALSE(answer.hasHeader("Access-Control-Allow-Origin"));
        EXPECT_EQ(answer.header("X-Frame-Options"), "DENY");
        if (request.answer == RefusedByPage) {
            EXPECT_EQ(parseJson(answer.body)["exception"],
                      "Forbidden: the program's page answers only itself");
        }
    }
    // A pre-flight is answered as the request it asks for would be.
    EXPECT_EQ(service
                  .send("OPTIONS /status HTTP/1.1\r\nOrigin: " + webApplicationOrigin() +
                        "\r\nAccess-Control-Request-Method: GET\r\n\r\n")
                  .status,
              403);
}

} // namespace
