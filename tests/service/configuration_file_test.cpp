// The configuration file as the service reads it at start and writes it on "/config/save".
#include "posnet/printer.h"
#include "scripted_posnet_library.h"
#include "service_test_support.h"
#include <algorithm>
#include <boost/filesystem/fstream.hpp>
#include <boost/filesystem/operations.hpp>
#include <gtest/gtest.h>
#include <iterator>
#include <optional>
#include <sys/stat.h>
#include <tuple>
#include <utility>

namespace {

namespace fs = boost::filesystem;

const std::string savedRecord =
    R"({"port":"COM3","selectedPrinter":2,"questionBeforeFiscalization":true,)"
    R"("printInvoicesOnFiscalPrinter":false,"dontPrintNipOnFiscalPrinter":true,"isValid":true,)"
    R"("vatMappingForNoObligation":3,"paymentMapping":[{"id":1,"name":"Gotówka"}]})";
const std::string savedFile =
    R"({"dontPrintNipOnFiscalPrinter":true,"isValid":true,)"
    R"("paymentMapping":[{"id":1,"name":"Got\u00f3wka"}],"port":"COM3",)"
    R"("printInvoicesOnFiscalPrinter":false,"questionBeforeFiscalization":true,)"
    R"("selectedPrinter":2,"vatMappingForNoObligation":3})"
    "\n";

class ConfigurationFileTest : public ::testing::Test {
protected:
    // A settings file of the owner's, beside the configuration file.
    fs::path ownerFile(const std::string& name) const { return environment.folder() / name; }
    void writeOwnerFile(const std::string& name, const std::string& content) const {
        fs::create_directories(environment.folder());
        fs::ofstream(ownerFile(name), std::ios::binary) << content;
    }

    ServiceTestEnvironment environment;
    LogCapture log;
};

TEST_F(ConfigurationFileTest, SaveWritesOneSortedLineAndNothingElse) {
    RunningService service;

    const HttpAnswer answer = service.post("/config/save", savedRecord);

    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(answer.body, "null");

    EXPECT_EQ(environment.readConfiguration(), savedFile);
    EXPECT_EQ(std::distance(fs::directory_iterator(environment.folder()), {}), 1);
    EXPECT_EQ(countLines(log, "info : Saving configuration..."), 1u);
    EXPECT_EQ(parseJson(service.get("/config/get").body), parseJson(savedRecord));
}

TEST_F(ConfigurationFileTest, SavedFileIsReadAtTheNextStart) {
    environment.writeConfiguration(savedFile);
    RunningService service;

    EXPECT_EQ(parseJson(service.get("/config/get").body), parseJson(savedRecord));
    EXPECT_EQ(service.get("/config/is_configured").body, "true");
    EXPECT_EQ(countLines(log, "error : Configuration read error."), 0u);
}

TEST_F(ConfigurationFileTest, SaveWithoutPaymentMappingSurvivesTheNextStart) {
    {
        RunningService service;
        Json::Value record = parseJson(savedRecord);
        record.removeMember("paymentMapping");
        ASSERT_EQ(service.post("/config/save", record.toStyledString()).status, 200);
    }
    EXPECT_NE(environment.readConfiguration().find("\"paymentMapping\":null"), std::string::npos);

    RunningService restarted;
    EXPECT_EQ(restarted.get("/config/is_configured").body, "true");
    EXPECT_EQ(parseJson(restarted.get("/config/get").body)["paymentMapping"], Json::Value());
}

TEST_F(ConfigurationFileTest, CommentsAndUnknownKeysAreAccepted) {
    Json::Value withExtra = parseJson(configurationFile("COM7", 1));
    withExtra["theme"] = "dark";
    environment.writeConfiguration("// written by hand\n/* saved */" + withExtra.toStyledString());
    RunningService service;

    EXPECT_EQ(service.get("/config/is_configured").body, "true");
    EXPECT_EQ(parseJson(service.get("/config/get").body)["port"], "COM7");
}

TEST_F(ConfigurationFileTest, MissingFileIsLoggedAndTheStartGoesOn) {
    RunningService service;

    EXPECT_EQ(log.lines(),
              (std::vector<std::string>{"info : Reading configuration...",
                                        "error : Could not open configuration file.",
                                        "error : Configuration read error.",
                                        "info : Starting server...", "info : Setup handlers..."}));
}

struct MalformedFile {
    const char* name;
    std::string content;
    bool unparsable;
};

// A usable file with one key replaced, or removed when `value` is left out.
std::string withKey(const char* key, const Json::Value& value = Json::Value()) {
    Json::Value file = parseJson(configurationFile("COM5", 1));
    if (value.isNull()) {
        file.removeMember(key);
    } else {
        file[key] = value;
    }
    return file.toStyledString();
}

void PrintTo(const MalformedFile& file, std::ostream* out) {
    *out << file.name;
}

class MalformedFileTest : public ConfigurationFileTest,
                          public ::testing::WithParamInterface<MalformedFile> {};

TEST_P(MalformedFileTest, IsAReadFailureThatDoesNotStopTheStart) {
    environment.writeConfiguration(GetParam().content);
    RunningService service;

    EXPECT_EQ(service.get("/config/is_configured").body, "false");
    EXPECT_EQ(countLines(log, "error : Error while parsing configuration file"),
              GetParam().unparsable ? 1u : 0u);
    EXPECT_EQ(countLines(log, "error : Configuration read error."), 1u);
    EXPECT_EQ(countLines(log, "info : Setup handlers..."), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    EachKind, MalformedFileTest,
    ::testing::Values(
        MalformedFile{"Empty", "", true}, MalformedFile{"Truncated", "{\"port\":\"CO", true},
        MalformedFile{"NestedTooDeep", std::string(1001, '[') + std::string(1001, ']'), true},
        MalformedFile{"TopLevelArray", "[1,2]", false},
        MalformedFile{"TopLevelNumber", "42", false},
        MalformedFile{"TopLevelString", "\"COM3\"", false},
        MalformedFile{"TopLevelNull", "null", false},
        MalformedFile{"NoPort", withKey("port"), false},
        MalformedFile{"PortNumber", withKey("port", 3), false},
        MalformedFile{"SelectedPrinterText", withKey("selectedPrinter", "2"), false},
        MalformedFile{"SelectedPrinterTooLarge", withKey("selectedPrinter", 3000000000.0), false},
        MalformedFile{"FlagAsNumber", withKey("isValid", 1), false},
        MalformedFile{"NoVatMapping", withKey("vatMappingForNoObligation"), false},
        MalformedFile{"NoPaymentMapping", withKey("paymentMapping"), false},
        MalformedFile{"PaymentMappingObject",
                      withKey("paymentMapping", Json::Value(Json::objectValue)), false},
        MalformedFile{"LargerThan4MiB",
                      configurationFile("COM5", 1) + std::string(4 * 1024 * 1024, ' '), false}),
    [](const ::testing::TestParamInfo<MalformedFile>& info) { return info.param.name; });

// A link to a device would fill the memory, a pipe would hang the start before it listens.
TEST_F(ConfigurationFileTest, FileThatIsNotARegularFileIsNotRead) {
    const fs::path file = environment.folder() / "config.json";
    for (const bool pipe : {false, true}) {
        fs::create_directories(environment.folder());
        fs::remove(file);
        if (pipe) {
            ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
        } else {
            fs::create_symlink("/dev/zero", file);
        }
        RunningService service;

        EXPECT_EQ(service.get("/config/is_configured").body, "false");
        EXPECT_TRUE(
            log.contains("error : Configuration file " + file.string() + " is not a regular file"));
    }
}

TEST_F(ConfigurationFileTest, KeysBeforeTheFailingOneAreKept) {
    Json::Value file = parseJson(configurationFile("COM4", 2));
    file["dontPrintNipOnFiscalPrinter"] = true;
    file.removeMember("vatMappingForNoObligation");
    environment.writeConfiguration(file.toStyledString());
    RunningService service;

    const Json::Value held = parseJson(service.get("/config/get").body);
    EXPECT_EQ(held["port"], "COM4");
    EXPECT_EQ(held["selectedPrinter"], 2);
    EXPECT_EQ(held["dontPrintNipOnFiscalPrinter"], true);
    EXPECT_EQ(held["paymentMapping"], Json::Value(Json::arrayValue));
    EXPECT_EQ(service.get("/config/is_configured").body, "false");
}

struct SaveFailure {
    const char* name;
    void (*arrange)(const fs::path& folder);
    const char* logLine;
    bool oldFileReachable;
};

void PrintTo(const SaveFailure& failure, std::ostream* out) {
    *out << failure.name;
}

class SaveFailureTest : public ConfigurationFileTest,
                        public ::testing::WithParamInterface<SaveFailure> {};

// The old file stays whole, the answer says what failed, and memory holds the new record.
TEST_P(SaveFailureTest, AnswersTheFailureAndKeepsTheOldFile) {
    environment.writeConfiguration(savedFile);
    GetParam().arrange(environment.folder());
    RunningService service;

    const HttpAnswer answer = service.post("/config/save", configurationFile("COM9", 1));

    EXPECT_EQ(answer.status, 500);
    EXPECT_EQ(parseJson(answer.body)["exception"].asString().rfind("Configuration not saved: ", 0),
              0u);
    EXPECT_EQ(countLines(log, std::string("error : ") + GetParam().logLine), 1u);
    EXPECT_EQ(parseJson(service.get("/config/get").body)["port"], "COM9");
    if (GetParam().oldFileReachable) {
        EXPECT_EQ(environment.readConfiguration(), savedFile);
    }
}

TEST_F(ConfigurationFileTest, FailedSaveDoesNotPutTheRecordInForce) {
    fs::create_directories(environment.folder() / "config.json.tmp");
    RunningService service;

    EXPECT_EQ(service.post("/config/save", configurationFile("COM9", 1)).status, 500);
    EXPECT_EQ(service.get("/config/is_configured").body, "false");
}

INSTANTIATE_TEST_SUITE_P(
    EachStep, SaveFailureTest,
    ::testing::Values(SaveFailure{"FolderIsAFile",
                                  [](const fs::path& folder) {
                                      fs::remove_all(folder);
                                      fs::ofstream(folder).close();
                                  },
                                  "Configuration not saved, failed to create directory...", false},
                      SaveFailure{"TemporaryFileCannotBeOpened",
                                  [](const fs::path& folder) {
                                      fs::create_directory(folder / "config.json.tmp");
                                  },
                                  "Configuration not saved, couldn't open file", true},
                      SaveFailure{"DiskFull",
                                  [](const fs::path& folder) {
                                      fs::create_symlink("/dev/full", folder / "config.json.tmp");
                                  },
                                  "Configuration not saved, couldn't write file", true}),
    [](const ::testing::TestParamInfo<SaveFailure>& info) { return info.param.name; });

} // namespace

namespace {

class AccessSettingsTest : public ConfigurationFileTest {
protected:
    fs::path accessFile() const { return ownerFile("access.json"); }
    void writeAccess(const std::string& content) const { writeOwnerFile("access.json", content); }

    std::string readAccess() const {
        fs::ifstream file(accessFile(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }

    HttpAnswer getFrom(RunningService& service, const std::string& origin) {
        return service.send("GET /config/is_configured HTTP/1.1\r\nOrigin: " + origin + "\r\n\r\n");
    }
};

} // namespace

// Without a data folder at all (an account without a home), the defaults apply too, and a
// keyed sale is refused before anything is printed, as its key could not be kept.
TEST_F(AccessSettingsTest, MissingFileOrDataFolderGivesTheDefaults) {
    const AccessSettings access = readAccessSettings();
    EXPECT_TRUE(access.allowedOrigins.empty());
    EXPECT_FALSE(access.listenOnAllAddresses);
    EXPECT_TRUE(log.contains("info : No access settings in " + accessFile().string() +
                             "; the defaults apply"));

    const std::string dataHome = std::getenv("XDG_DATA_HOME");
    const std::string home = std::getenv("HOME");
    ::unsetenv("XDG_DATA_HOME");
    ::unsetenv("HOME");
    EXPECT_TRUE(readAccessSettings().allowedOrigins.empty());
    {
        RunningService service;
        const HttpAnswer answer =
            service.post("/printer/print", "{}", "Idempotency-Key: sale-1\r\n");
        EXPECT_EQ(answer.status, 500);
        EXPECT_EQ(parseJson(answer.body)["exception"],
                  "Idempotency-Key could not be saved, so nothing was printed: no data folder");
    }
    ::setenv("XDG_DATA_HOME", dataHome.c_str(), 1);
    ::setenv("HOME", home.c_str(), 1);
    EXPECT_TRUE(log.contains("error : Access settings not read (neither XDG_DATA_HOME nor HOME "
                             "names the local data folder); the defaults apply"));
    // Settings that were not read are not told as the ones in force.
    EXPECT_FALSE(log.contains("info : Access settings: allowed origins besides the web "
                              "application: none; listening on every address: no"));
}

// An http:// page proves nothing of who serves it: any account may listen on a loopback port.
TEST_F(AccessSettingsTest, ListedOriginsMayCallAndTheFileIsNeverWritten) {
    for (const bool allowHttp : {true, false}) {
        SCOPED_TRACE(allowHttp);
        // As Notepad saves it, with a byte-order mark; the scheme in capitals names the same
        // origin.
        const std::string content = "\xEF\xBB\xBF{\"allowedOrigins\": [\"HTTPS://ERP.Example\", "
                                    "\"http://127.0.0.1:8080/\"], "
                                    "\"listenOnAllAddresses\": false" +
                                    std::string(allowHttp ? ", \"allowHttpOrigins\": true" : "") +
                                    "}\n";
        writeAccess(content);
        const AccessSettings access = readAccessSettings();
        EXPECT_TRUE(log.contains("info : Access settings: allowed origins besides the web "
                                 "application: HTTPS://ERP.Example" +
                                 std::string(allowHttp ? ", http://127.0.0.1:8080/" : "") +
                                 "; listening on every address: no"));
        EXPECT_EQ(log.contains("error : Access settings: the origin http://127.0.0.1:8080/ in "
                               "\"allowedOrigins\" is refused: an http:// page may be served by "
                               "anyone, another account of this computer too; "
                               "\"allowHttpOrigins\": true in access.json allows it"),
                  !allowHttp);
        RunningService service(access);

        EXPECT_EQ(getFrom(service, "https://erp.example").status, 200);
        EXPECT_EQ(getFrom(service, "http://127.0.0.1:8080").status, allowHttp ? 200 : 403);
        EXPECT_EQ(getFrom(service, "https://ledvik.trivane.pl").status, 200);
        EXPECT_EQ(getFrom(service, "https://other.example").status, 403);
        ASSERT_EQ(service.post("/config/save", savedRecord).status, 200);
        EXPECT_EQ(readAccess(), content);
        EXPECT_EQ(environment.readConfiguration(), savedFile);
    }
}

TEST_F(AccessSettingsTest, ListeningOnEveryAddressIsAnExplicitChoice) {
    writeAccess(R"({"listenOnAllAddresses": true, "allowedOrigins": ["*"]})");
    const AccessSettings access = readAccessSettings();
    EXPECT_TRUE(access.listenOnAllAddresses);
    EXPECT_EQ(access.allowedOrigins, std::vector<std::string>{"*"});
}

TEST_F(AccessSettingsTest, MalformedFileIsLoggedAndGivesTheDefaults) {
    const std::pair<std::string, std::string> files[] = {
        {"{\"allowedOrigins\": [", "not JSON"},
        {"[\"https://erp.example\"]", "not a JSON object"},
        {R"({"allowedOrigins": "https://erp.example", "listenOnAllAddresses": true})",
         "\"allowedOrigins\" is not a list"},
        {R"({"allowedOrigins": ["erp.example"], "listenOnAllAddresses": true})",
         "\"allowedOrigins\" holds \"erp.example\", which is not an origin such as "
         "\"https://shop.example\""},
        {R"({"allowedOrigins": [5]})",
         "\"allowedOrigins\" holds a value, which is not an origin such as "
         "\"https://shop.example\""},
        {R"({"listenOnAllAddresses": "yes"})", "unknown or mistyped key \"listenOnAllAddresses\""},
        {R"({"allowedOrigins": ["http://a.example"], "allowHttpOrigins": "yes"})",
         "unknown or mistyped key \"allowHttpOrigins\""},
        {R"({"allowedOrigins": ["http://a.example"], "allowHTTPOrigins": true})",
         "unknown or mistyped key \"allowHTTPOrigins\""},
        {R"({"allowedOrigins": ["https://erp.example"], "allowOrigins": ["*"]})",
         "unknown or mistyped key \"allowOrigins\""},
        {R"({"allowedOrigins": [], "allowedOrigins": ["*"]})", "Duplicate key: 'allowedOrigins'"},
        // Texts of the file reach the log escaped: none of them can forge a line of its own.
        {R"({"allowedOrigins": ["https://a.example\nforged : line"]})",
         "\"allowedOrigins\" holds \"https://a.example\\nforged : line\", which is not an origin"},
        {R"({"allowedOrigins": ["https://a.example\u001b[2J"]})",
         "holds \"https://a.example\\x1b[2J\""},
        {R"({"x\nforged : line": 1})", "unknown or mistyped key \"x\\nforged : line\""},
        {"{\"allowedOrigins\": [\"*\"] /* all */}", "not JSON: a comment at byte 26"},
        {"{\"allowedOrigins\": [\"https://a.example/\\\"\"]}/", "not JSON: a comment at byte 45"},
        {"// written by hand\n{}", "not JSON"},
        {"{\"allowedOrigins\": [\"*\"]} {}", "not JSON"},
    };
    const std::string malformed =
        "error : Access settings file " + accessFile().string() + " is malformed (";
    for (const auto& file : files) {
        SCOPED_TRACE(file.first.substr(0, 80));
        writeAccess(file.first);
        const AccessSettings access = readAccessSettings();
        EXPECT_TRUE(access.allowedOrigins.empty());
        EXPECT_FALSE(access.listenOnAllAddresses);
        const std::vector<std::string> lines = log.lines();
        EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
            return line.rfind(malformed, 0) == 0 && line.find(file.second) != std::string::npos;
        }));
    }
    for (const std::string& line : log.lines()) {
        EXPECT_EQ(line.find('\n'), std::string::npos) << line;
    }
    writeAccess("{\"allowedOrigins\": [\"*\"" + std::string(70000, ' ') + "]}");
    EXPECT_TRUE(readAccessSettings().allowedOrigins.empty());
    EXPECT_TRUE(log.contains("error : Access settings file " + accessFile().string() +
                             " is larger than 64 KiB; the defaults apply"));
    fs::remove(accessFile());
    fs::create_symlink("/dev/zero", accessFile());
    EXPECT_TRUE(readAccessSettings().allowedOrigins.empty());
    EXPECT_TRUE(log.contains("error : Access settings file " + accessFile().string() +
                             " is not a regular file; the defaults apply"));
}

// Each file as the settings text that reaches the printer library, and a line it logs.
TEST_F(ConfigurationFileTest, LineSettingsFileSetsTheSerialLineOrGivesTheDefaults) {
    const std::string file = ownerFile("line.json").string();
    const auto inForce = [](const std::string& settings) {
        return "info : Line settings: " + settings +
               " (for a serial port; a tcp:// printer ignores them)";
    };
    const auto malformed = [&file](const std::string& reason) {
        return "error : Line settings file " + file + " is malformed (" + reason +
               "); the defaults apply";
    };
    const std::string factory = "COM3,9600,8,N,1,H";
    const std::string speeds = ", not one of 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200";
    // The file (none: no file), the settings text the library gets and a line logged.
    const std::tuple<std::optional<std::string>, std::string, std::string> cases[] = {
        {"{}", factory,
         inForce("9600 baud, 8 data bits, no parity, 1 stop bit, RTS/CTS flow control")},
        {std::nullopt, factory, "info : No line settings in " + file + "; the defaults apply"},
        {R"({"speed": 115200, "flowControl": "xonxoff"})", "COM3,115200,8,N,1,X",
         inForce("115200 baud, 8 data bits, no parity, 1 stop bit, XON/XOFF flow control")},
        {R"({"parity": "even"})", "COM3,9600,8,E,1,H",
         inForce("9600 baud, 8 data bits, even parity, 1 stop bit, RTS/CTS flow control")},
        {"\xEF\xBB\xBF{\"speed\": 1200, \"parity\": \"odd\", \"stopBits\": 2,\r\n"
         "\"flowControl\": \"none\"}\r\n",
         "COM3,1200,8,O,2,N",
         inForce("1200 baud, 8 data bits, odd parity, 2 stop bits, no flow control")},
        {R"({"stopBits": 2, "speed": 9601})", factory, malformed("\"speed\" is 9601" + speeds)},
        {R"({"speed": "19200"})", factory, malformed("\"speed\" is \"19200\"" + speeds)},
        {R"({"parity": "mark"})", factory,
         malformed(R"("parity" is "mark", not one of "none", "odd", "even")")},
        {R"({"stopBits": 1.5})", factory, malformed(R"("stopBits" is 1.5, not one of 1, 2)")},
        {R"({"flowControl": "RTSCTS"})", factory,
         malformed(R"("flowControl" is "RTSCTS", not one of "rtscts", "xonxoff", "none")")},
        {R"({"dataBits": 7})", factory, malformed(R"(unknown or mistyped key "dataBits")")},
        {R"({"speed": 1200, "speed": 2400})", factory,
         malformed("not JSON: * Line 1, Column 17 Duplicate key: 'speed'")},
    };
    for (const auto& [content, comSettings, logged] : cases) {
        SCOPED_TRACE(content.value_or("no file"));
        fs::remove(ownerFile("line.json"));
        if (content) {
            writeOwnerFile("line.json", *content);
        }
        ScriptedPosnetLibrary library;
        ASSERT_TRUE(Printer(library, readLineSettings()).connect("COM3"));
        EXPECT_EQ(library.calls().at(1).arguments.at(2), comSettings);
        EXPECT_TRUE(log.contains(logged));
    }
}

TEST_F(ConfigurationFileTest, StatusShowsTheLineSettingsInForce) {
    const std::string line = R"({"flowControl":"none","parity":"odd","speed":57600,"stopBits":2})";
    writeOwnerFile("line.json", line);
    RunningService service(AccessSettings(), readLineSettings());

    EXPECT_EQ(parseJson(service.get("/status").body)["line"], parseJson(line));
}
