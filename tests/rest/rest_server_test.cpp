#include "rest/rest_router.h"
#include "support/log_capture.h"
#include "support/server_thread.h"
#include "support/test_certificate.h"
#include "support/tls_client.h"
#include <gtest/gtest.h>
#include <json/reader.h>
#include <json/writer.h>
#include <stdexcept>

namespace {

// The HTTP server answering with the router under test.
class TestRestServer {
public:
    explicit TestRestServer(const ServerSettings& settings) : http(settings), routes(http) {
        routes.allowOrigin("HTTPS://Shop.Example:443/app/");
        routes.addRoute("/connect", Method::POST, [this](Request, Response response) {
            ++handlerCalls;
            response->json = true;
        });
        routes.addRoute(
            "/page", Method::GET, [](Request, Response response) { response->json = 1; },
            RouteKind::NavigationTarget);
        routes.addRoute("/config/get", Method::GET, [](Request, Response response) {
            response->json["port"] = "COM1";
            response->json["text"] = "two\nlines";
        });
        routes.addRoute("/config/get", Method::POST, [](Request, Response) {});
        routes.addRoute(
            "/daily_report", Method::GET, [](Request, Response response) { response->json = 1; },
            RouteKind::Action);
        // Registered twice: the second registration is the one that answers.
        routes.addRoute("/echo", Method::POST,
                        [](Request request, Response response) { response->json = request->body; });
        routes.addRoute("/echo", Method::POST, [](Request request, Response response) {
            response->json["echo"] = request->body;
        });
        routes.addRoute("/config/save", Method::POST, [](Request request, Response response) {
            std::string port;
            requireString(request->body, "port", port);
            response->json = port;
        });
        routes.addRoute("/rest-error", Method::GET, [](Request, Response response) {
            response->json = "filled before the failure";
            Json::Value body;
            body["exception"] = "busy";
            throw RestException(503, "Service Unavailable", body);
        });
        routes.addRoute("/std-error", Method::GET,
                        [](Request, Response) { throw std::runtime_error("boom"); });
        routes.addRoute("/unknown-error", Method::GET, [](Request, Response) { throw 42; });
    }

    HttpServer http;
    RestRouter routes;
    // Read between requests only: the server thread owns it while serving.
    int handlerCalls = 0;

private:
    using Request = std::shared_ptr<RestRequest>;
    using Response = std::shared_ptr<RestResponse>;
};

class RestServerTest : public ::testing::Test {
protected:
    RestServerTest() : server(testServerSettings()), running(server.http) {}

    HttpAnswer send(const std::string& request) { return exchange(running.port(), request); }

    LogCapture log;
    TestRestServer server;
    ServerThread running;
};

void expectDefaultHeaders(const HttpAnswer& answer) {
    EXPECT_EQ(answer.header("Connection"), "close");
    EXPECT_EQ(answer.header("Access-Control-Allow-Headers"),
              "Origin, X-Requested-With, Content-Type, Accept, X-UserCulture, Idempotency-Key");
    EXPECT_EQ(answer.header("Access-Control-Allow-Origin"), "*");
    EXPECT_EQ(answer.header("Server"), "Trivane Ledvik printer proxy");
    EXPECT_TRUE(answer.hasHeader("Date"));
    EXPECT_EQ(answer.header("Content-Length"), std::to_string(answer.body.size()));
}

Json::Value parsedJson(const std::string& text) {
    Json::Value value;
    EXPECT_TRUE(Json::Reader().parse(text, value)) << text;
    return value;
}

const std::string jsonType = "application/json; charset=utf-8";

// `headers`: further header lines, each ending in CR LF.
std::string post(const std::string& path, const std::string& body,
                 const std::string& contentType = jsonType, const std::string& headers = "") {
    return "POST " + path + " HTTP/1.1\r\nContent-Type: " + contentType +
           "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + headers + "\r\n" + body;
}

std::string get(const std::string& path, const std::string& headers) {
    return "GET " + path + " HTTP/1.1\r\nHost: localhost\r\n" + headers + "\r\n";
}

std::string originHeader(const std::string& origin) {
    return "Origin: " + origin + "\r\n";
}

std::string preflight(const std::string& origin, const std::string& headers = "") {
    return "OPTIONS /connect HTTP/1.1\r\n" + originHeader(origin) +
           "Access-Control-Request-Method: POST\r\n"
           "Access-Control-Request-Headers: content-type\r\n" +
           headers + "\r\n";
}

std::string styledException(const std::string& text) {
    Json::Value body;
    body["exception"] = text;
    return Json::StyledWriter().write(body);
}

std::string refusedOrigin(const std::string& origin) {
    return styledException("Requests from the origin " + origin +
                           " are refused. To allow that origin, add it to \"allowedOrigins\" in "
                           "access.json beside config.json and restart the program.");
}

std::string refusedCrossSite(const std::string& path) {
    return styledException(
        "Refused a request from a page of another site that did not name its origin (an image, "
        "script, form or link) for " +
        path +
        ". Only calls from allowed origins are served; an origin is allowed by adding it to "
        "\"allowedOrigins\" in access.json beside config.json.");
}

// A refusal: 403 with the JSON body and no header that lets the page read it.
void expectRefusal(const HttpAnswer& answer, const std::string& body) {
    EXPECT_EQ(answer.status, 403);
    EXPECT_EQ(answer.reason, "Forbidden");
    EXPECT_EQ(answer.body, body);
    EXPECT_EQ(answer.header("Content-Type"), "application/json");
    EXPECT_FALSE(answer.hasHeader("Access-Control-Allow-Origin"));
    EXPECT_FALSE(answer.hasHeader("Access-Control-Allow-Headers"));
    EXPECT_FALSE(answer.hasHeader("Access-Control-Allow-Private-Network"));
    EXPECT_FALSE(answer.hasHeader("Allow"));
}

// The refusal's text starts with `refusal`; empty: served.
void expectAnswer(const HttpAnswer& answer, int status, const std::string& refusal) {
    EXPECT_EQ(answer.status, status);
    EXPECT_EQ(answer.hasHeader("Access-Control-Allow-Origin"), refusal.empty());
    if (!refusal.empty()) {
        EXPECT_EQ(parsedJson(answer.body)["exception"].asString().rfind(refusal, 0), 0u)
            << answer.body;
    }
}

struct CallerRow {
    std::string headers;
    std::string path;
    int status;
    std::string refusal;
};

struct ErrorRow {
    std::string request;
    int status;
    std::string reason;
    std::string body;
};

} // namespace

TEST_F(RestServerTest, SuccessIsCompactJsonWithTheDefaultHeaders) {
    HttpAnswer answer = send(post("/connect", ""));
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(answer.reason, "OK");
    EXPECT_EQ(answer.body, "true");
    EXPECT_EQ(answer.header("Content-Type"), "application/json");
    expectDefaultHeaders(answer);
    EXPECT_TRUE(log.contains("info : REST Request: POST /connect"));

    EXPECT_EQ(send("GET /config/get HTTP/1.1\r\n\r\n").body,
              R"({"port":"COM1","text":"two\nlines"})");
}

TEST_F(RestServerTest, EveryErrorIsStyledJsonWithTheDefaultHeaders) {
    const std::string huge = "X-Filler: " + std::string(66 * 1024, 'x') + "\r\n";
    const ErrorRow rows[] = {
        {"GET /nowhere HTTP/1.1\r\n\r\n", 404, "Not Found", R"({"exception": "Not Found"})"},
        {"OPTIONS /nowhere HTTP/1.1\r\n\r\n", 404, "Not Found", R"({"exception": "Not Found"})"},
        {"GET /connect?x=1 HTTP/1.1\r\n\r\n", 404, "Not Found", R"({"exception": "Not Found"})"},
        {"GET /connect/ HTTP/1.1\r\n\r\n", 404, "Not Found", R"({"exception": "Not Found"})"},
        {"GET /connect HTTP/1.1\r\n\r\n", 400, "Bad Request", R"({"exception": "Bad Request"})"},
        {"HEAD /connect HTTP/1.1\r\n\r\n", 400, "Bad Request", R"({"exception": "Bad Request"})"},
        {"TRACE /connect HTTP/1.1\r\n\r\n", 400, "Bad Request", R"({"exception": "Bad Request"})"},
        {post("/echo", "{}", "application/json"), 400, "Bad Request",
         R"({"exception": "Bad Request"})"},
        {post("/echo", "{}", "text/plain"), 400, "Bad Request", R"({"exception": "Bad Request"})"},
        // A body without a type: what a browser sends to any origin without asking first.
        {"POST /echo HTTP/1.1\r\nContent-Length: 2\r\n\r\n{}", 400, "Bad Request",
         R"({"exception": "Bad Request"})"},
        {"GET /connect HTTP/1.1 x\r\n\r\n", 400, "Bad Request", R"({"exception": "Bad Request"})"},
        {post("/echo", "   "), 400, "Bad Request", R"({"exception": "Json parse error"})"},
        {post("/config/save", R"({"port": 5})"), 400, "Bad Request",
         R"("required port param as string")"},
        {"GET /rest-error HTTP/1.1\r\n\r\n", 503, "Service Unavailable",
         R"({"exception": "busy"})"},
        {"GET /std-error HTTP/1.1\r\n\r\n", 500, "Internal Server Error",
         R"({"exception": "boom"})"},
        {"GET /unknown-error HTTP/1.1\r\n\r\n", 500, "Internal Server Error",
         R"({"exception": "Internal Server Error"})"},
        {"GET / HTTP/1.1\r\n" + huge + "\r\n", 431, "Request Header Fields Too Large",
         R"({"exception": "Request Header Fields Too Large"})"},
        {"POST /echo HTTP/1.1\r\nContent-Length: 1048577\r\n\r\n", 413, "Payload Too Large",
         R"({"exception": "Payload Too Large"})"},
        {"POST /echo HTTP/1.1\r\nContent-Length: -1\r\n\r\n", 400, "Bad Request",
         R"({"exception": "Bad Request"})"},
        {"POST /echo HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n2\r\n{}\r\n0\r\n\r\n", 411,
         "Length Required", R"({"exception": "Length Required"})"},
        {"GET /connect HTTP/9.9\r\n\r\n", 505, "HTTP Version Not Supported",
         R"({"exception": "HTTP Version Not Supported"})"},
        {post("/echo", std::string(1001, '[') + std::string(1001, ']')), 400, "Bad Request",
         R"({"exception": "Json parse error"})"},
        {post("/config/save", R"(["COM1"])"), 400, "Bad Request",
         R"("required port param as string")"},
        {"POST /echo HTTP/1.1\r\ncontent-type: application/json\r\n\r\n", 400, "Bad Request",
         R"({"exception": "Bad Request"})"},
    };
    for (const ErrorRow& row : rows) {
        SCOPED_TRACE(row.request.substr(0, 60));
        HttpAnswer answer = send(row.request);
        EXPECT_EQ(answer.status, row.status);
        EXPECT_EQ(answer.reason, row.reason);
        EXPECT_EQ(answer.header("Content-Type"), "application/json");
        expectDefaultHeaders(answer);
        EXPECT_EQ(answer.body, Json::StyledWriter().write(parsedJson(row.body)));
        // Requests that cannot be taken as they came are logged as refusals, once per answer.
        EXPECT_TRUE(row.status == 431
                        ? log.contains("error : Refused a request with a header over 64 KiB (431)")
                        : log.contains("error : Rest exception: " + answer.body) ||
                              log.contains("error : Refused a request of 127.0.0.1 (this "
                                           "account): " +
                                           std::to_string(row.status) + " " + row.reason));
    }
}

TEST_F(RestServerTest, OptionsListsTheRouteMethodsWithoutABody) {
    HttpAnswer answer = send("OPTIONS /connect HTTP/1.1\r\n\r\n");
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(answer.header("Allow"), "POST,OPTIONS");
    EXPECT_EQ(answer.header("Content-Length"), "0");
    EXPECT_FALSE(answer.hasHeader("Content-Type"));
    expectDefaultHeaders(answer);

    EXPECT_EQ(send("OPTIONS /config/get HTTP/1.1\r\n\r\n").header("Allow"), "GET,POST,OPTIONS");
    EXPECT_EQ(send("OPTIONS * HTTP/1.1\r\n\r\n").header("Allow"),
              "GET,HEAD,POST,PUT,DELETE,OPTIONS");
}

TEST_F(RestServerTest, ContentTypeWithAParameterPasses) {
    EXPECT_EQ(send(post("/echo", "[1,2]")).body, R"({"echo":[1,2]})");
    const std::string longParameter = "application/json; x=" + std::string(60000, 'x');
    EXPECT_EQ(send(post("/echo", "7", longParameter)).body, R"({"echo":7})");
}

TEST_F(RestServerTest, HeadersInLowerCaseAreRead) {
    EXPECT_EQ(send("POST /echo HTTP/1.1\r\ncontent-type: application/json; charset=utf-8\r\n"
                   "content-length: 7\r\n\r\n{\"a\":1}")
                  .body,
              R"({"echo":{"a":1}})");
}

TEST_F(RestServerTest, BodyWithoutLengthOrOfLengthZeroIsNull) {
    EXPECT_EQ(send("POST /echo HTTP/1.1\r\nContent-Type: application/json; charset=utf-8\r\n\r\n"
                   "{\"a\":1}")
                  .body,
              R"({"echo":null})");
    EXPECT_EQ(send(post("/echo", "")).body, R"({"echo":null})");
}

TEST_F(RestServerTest, BodyWithCommentsIsAccepted) {
    EXPECT_EQ(send(post("/echo", "/* note */ {\"a\": 1} // end")).body, R"({"echo":{"a":1}})");
}

TEST_F(RestServerTest, AllowedOriginsAreServedAsAlways) {
    const std::string port = std::to_string(running.port());
    const std::string origins[] = {"https://shop.example", "HTTPS://Shop.Example",
                                   "https://localhost:" + port, "https://127.0.0.1:" + port,
                                   "https://[::1]:" + port};
    for (const std::string& origin : origins) {
        SCOPED_TRACE(origin);
        HttpAnswer answer = send(post("/connect", "", jsonType, originHeader(origin)));
        EXPECT_EQ(answer.status, 200);
        EXPECT_EQ(answer.body, "true");
        expectDefaultHeaders(answer);
    }
    EXPECT_EQ(server.handlerCalls, 5);
}

TEST_F(RestServerTest, ForeignOriginsAreRefusedBeforeAnyHandlerRuns) {
    const std::string origins[] = {"https://evil.example", "https://shop.example.evil.example",
                                   "http://shop.example", "https://localhost:1", "null"};
    for (const std::string& origin : origins) {
        SCOPED_TRACE(origin);
        expectRefusal(send(post("/connect", "", jsonType, originHeader(origin))),
                      refusedOrigin(origin));
        expectRefusal(send(get("/nowhere", originHeader(origin))), refusedOrigin(origin));
    }
    EXPECT_EQ(server.handlerCalls, 0);
}

TEST_F(RestServerTest, PreflightsFromAllowedOriginsAreAnsweredAsAlways) {
    HttpAnswer answer = send(preflight("https://shop.example"));
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(answer.header("Allow"), "POST,OPTIONS");
    EXPECT_FALSE(answer.hasHeader("Access-Control-Allow-Private-Network"));
    expectDefaultHeaders(answer);

    HttpAnswer privateNetwork =
        send(preflight("https://shop.example", "Access-Control-Request-Private-Network: true\r\n"));
    EXPECT_EQ(privateNetwork.status, 200);
    EXPECT_EQ(privateNetwork.header("Access-Control-Allow-Private-Network"), "true");
    expectDefaultHeaders(privateNetwork);
}

TEST_F(RestServerTest, PreflightsFromForeignOriginsAreRefusedWithoutAllowHeaders) {
    expectRefusal(
        send(preflight("https://evil.example", "Access-Control-Request-Private-Network: true\r\n")),
        refusedOrigin("https://evil.example"));
}

// A browser marks its requests; without an allowed origin they are an image, form or link of
// another site, or a link opened from a mail, a bookmark or a typed address: none of them is
// the web application, which calls with CORS fetch and so names its origin.
TEST_F(RestServerTest, BrowserRequestsWithoutAnAllowedOriginReachOnlyNavigationTargets) {
    const std::string link = "Sec-Fetch-Site: none\r\nSec-Fetch-Mode: navigate\r\n";
    const std::string crossSite = "Refused a request from a page of another site";
    const std::string prefetch = "Refused a prefetch or prerender";
    const CallerRow rows[] = {
        {"Sec-Fetch-Site: cross-site\r\nSec-Fetch-Mode: no-cors\r\n", "/config/get", 403,
         crossSite},
        {"Sec-Fetch-Site: same-site\r\nSec-Fetch-Mode: no-cors\r\n", "/config/get", 403, crossSite},
        {"Sec-Fetch-Site: cross-site\r\nSec-Fetch-Mode: navigate\r\n", "/config/get", 403,
         crossSite},
        {"Sec-Fetch-Mode: navigate\r\n", "/config/get", 403, crossSite},
        {"Sec-Fetch-Site: cross-site\r\nSec-Fetch-Mode: no-cors\r\n", "/page", 403, crossSite},
        {"Sec-Fetch-Site: cross-site\r\nSec-Fetch-Mode: navigate\r\n", "/page", 200, ""},
        {"Sec-Fetch-Site: same-origin\r\nSec-Fetch-Mode: cors\r\n", "/config/get", 200, ""},
        {link + "Sec-Fetch-Dest: document\r\n", "/config/get", 403, "Refused a link"},
        {link, "/page", 200, ""},
        {link + "Sec-Purpose: prefetch;prerender\r\n", "/page", 403, prefetch},
        {"Purpose: prefetch\r\n", "/config/get", 403, prefetch},
        // No browser headers at all: curl, scripts, the workstation's own tools.
        {"", "/config/get", 200, ""},
    };
    for (const CallerRow& row : rows) {
        SCOPED_TRACE(row.headers + row.path);
        expectAnswer(send(get(row.path, row.headers)), row.status, row.refusal);
    }
}

// A page that makes its own name lead to this computer (DNS rebinding) is same-origin there.
TEST_F(RestServerTest, OnlyTheProgramsOwnHostNamesAreServed) {
    const std::string port = ":" + std::to_string(running.port());
    const std::string misdirected = "Refused a request for the host";
    const CallerRow rows[] = {
        {"Host: localhost\r\n", "/config/get", 200, ""},
        {"Host: LocalHost" + port + "\r\n", "/config/get", 200, ""},
        {"Host: 127.0.0.1" + port + "\r\n", "/config/get", 200, ""},
        {"Host: [::1]" + port + "\r\n", "/config/get", 200, ""},
        {"Host: attacker.example" + port + "\r\n", "/config/get", 421, misdirected},
        {"Host: localhost:1\r\n", "/config/get", 421, misdirected},
        {"Host: localhost:\r\n", "/config/get", 421, misdirected},
        {"Host: 127.0.0.1.attacker.example\r\n", "/config/get", 421, misdirected},
        {"Host: [::1\r\n", "/config/get", 421, misdirected},
    };
    for (const CallerRow& row : rows) {
        SCOPED_TRACE(row.headers);
        expectAnswer(send("GET " + row.path + " HTTP/1.1\r\n" + row.headers +
                          "Sec-Fetch-Site: same-origin\r\n\r\n"),
                     row.status, row.refusal);
    }
    EXPECT_EQ(send("GET /config/get HTTP/1.0\r\n\r\n").status, 200);
}

// Browsers without fetch metadata send neither "Origin" nor "Sec-Fetch-*" for an image, and
// a mail program fetching a message's pictures sends no "Referer" either.
TEST_F(RestServerTest, OldBrowsersAreRefusedByTheirRefererAndActionsByWhatBrowsersSend) {
    const std::string port = std::to_string(running.port());
    const std::string ie11 = "User-Agent: Mozilla/5.0 (Windows NT 10.0; Trident/7.0; rv:11.0)\r\n";
    const std::string action = "Refused GET /daily_report from a browser or mail program";
    const CallerRow rows[] = {
        {ie11 + "Accept: image/png, image/*;q=0.8, */*;q=0.5\r\n", "/daily_report", 403, action},
        {"Accept: image/webp,*/*\r\n", "/daily_report", 403, action},
        {"Accept: TEXT/HTML,application/xhtml+xml\r\n", "/daily_report", 403, action},
        {ie11 + "Referer: https://shop.example/app/\r\n", "/daily_report", 403, action},
        {ie11 + "Referer: https://localhost:" + port + "/\r\n", "/daily_report", 200, ""},
        {"User-Agent: curl/8.5.0\r\nAccept: */*\r\n", "/daily_report", 200, ""},
        {"User-Agent: python-requests/2.31 Mozilla/\r\n", "/daily_report", 200, ""},
        {ie11 + "Accept: text/html\r\n", "/config/get", 200, ""},
        {"Referer: https://evil.example/page?x=1\r\n", "/config/get", 403,
         "Requests from the origin https://evil.example are refused."},
        {"Referer: https://shop.example/app/\r\n", "/config/get", 200, ""},
        {"Referer: https://localhost:" + port + "/\r\n", "/config/get", 200, ""},
        {"Referer: https://evil.example/\r\nSec-Fetch-Site: cross-site\r\n"
         "Sec-Fetch-Mode: navigate\r\n",
         "/page", 200, ""},
    };
    for (const CallerRow& row : rows) {
        SCOPED_TRACE(row.headers);
        expectAnswer(send(get(row.path, row.headers)), row.status, row.refusal);
    }
}

TEST_F(RestServerTest, RequestTextsReachTheLogEscapedAndCut) {
    const std::string path = "/x\x1b[2J\x7f" + std::string(300, 'y');
    EXPECT_EQ(send(get(path, "")).status, 404);
    // The first 200 bytes: 7 before the run of "y", then 193 of it.
    EXPECT_TRUE(log.contains("info : REST Request: GET /x\\x1b[2J\\x7f" + std::string(193, 'y') +
                             "... (107 more bytes)"));

    const std::string origin = "https://e\x1bvil.example/" + std::string(5000, 'o');
    HttpAnswer answer = send(get("/config/get", originHeader(origin)));
    EXPECT_EQ(answer.status, 403);
    EXPECT_NE(answer.body.find("https://e\\\\x1bvil.example/"), std::string::npos) << answer.body;
    EXPECT_NE(answer.body.find("... (4822 more bytes)"), std::string::npos) << answer.body;
    for (const std::string& line : log.lines()) {
        EXPECT_EQ(line.find('\x1b'), std::string::npos) << line;
    }
}

TEST(RestServerAnyOrigin, StarAllowsEveryOriginButNotCrossSiteRequestsWithoutOne) {
    LogCapture log;
    HttpServer server(testServerSettings());
    RestRouter routes(server);
    routes.allowOrigin("*");
    routes.addRoute("/daily_report", Method::GET,
                    [](std::shared_ptr<RestRequest>, std::shared_ptr<RestResponse>) {});
    ServerThread running(server);
    EXPECT_EQ(
        exchange(running.port(), get("/daily_report", originHeader("https://any.example"))).status,
        200);
    expectRefusal(exchange(running.port(), get("/daily_report", "Sec-Fetch-Site: cross-site\r\n"
                                                                "Sec-Fetch-Mode: no-cors\r\n")),
                  refusedCrossSite("/daily_report"));
}

// A page making hundreds of refused requests a second must not rotate the log away.
TEST(RestServerRefusals, TheFirstOfEachCallerIsLoggedInFullAndTheRestCounted) {
    LogCapture log;
    {
        TestRestServer server(testServerSettings());
        ServerThread running(server.http);
        for (int request = 0; request < 5; ++request) {
            exchange(running.port(), get("/connect", originHeader("https://evil.example")));
            exchange(running.port(), get("/config/get", "Sec-Fetch-Site: cross-site\r\n"));
            exchange(running.port(), "GET /connect HTTP/9.9\r\n\r\n");
            exchangePlain(running.port(), "GET / HTTP/1.1\r\n\r\n");
        }
        exchange(running.port(), get("/config/get", originHeader("https://other.example")));
    }
    std::vector<std::string> refusals;
    for (const std::string& line : log.lines()) {
        EXPECT_EQ(line.find("REST Request"), std::string::npos) << line;
        if (line.compare(0, 16, "error : Refused ") == 0) {
            refusals.push_back(line.substr(0, line.find(':', 16)));
        }
    }
    EXPECT_EQ(refusals, (std::vector<std::string>{"error : Refused GET /connect (403)",
                                                  "error : Refused GET /config/get (403)",
                                                  "error : Refused a request of 127.0.0.1 (this "
                                                  "account)",
                                                  "error : Refused GET /config/get (403)"}));
    // The counts still waiting are written as the server ends.
    EXPECT_TRUE(log.contains("warning : Since the last line about them, refused 4 more: requests "
                             "from the origin https://evil.example"));
    EXPECT_TRUE(log.contains("warning : Since the last line about them, refused 4 more: requests "
                             "of other sites' pages that name no origin"));
    // So are requests that cannot be taken as they came, and failed TLS handshakes.
    for (const char* kind : {"requests of 127.0.0.1 (this account) answered 505 HTTP "
                             "Version Not Supported",
                             "TLS handshakes of 127.0.0.1 (this account) that failed: "
                             "http request"}) {
        EXPECT_TRUE(log.contains(
            std::string("warning : Since the last line about them, refused 4 more: ") + kind));
    }
}
