#include "rest/rest_server.h"
#include "support/log_capture.h"
#include "support/server_thread.h"
#include "support/test_certificate.h"
#include "support/tls_client.h"
#include <gtest/gtest.h>
#include <json/reader.h>
#include <json/writer.h>
#include <stdexcept>

namespace {

class TestRestServer : public RestServer {
public:
    explicit TestRestServer(const ServerSettings& settings) : RestServer(settings) {
        addRoute("/connect", Method::POST,
                 [](Request, Response response) { response->json = true; });
        addRoute("/config/get", Method::GET, [](Request, Response response) {
            response->json["port"] = "COM1";
            response->json["text"] = "two\nlines";
        });
        addRoute("/config/get", Method::POST, [](Request, Response) {});
        // Registered twice: the second registration is the one that answers.
        addRoute("/echo", Method::POST,
                 [](Request request, Response response) { response->json = request->body; });
        addRoute("/echo", Method::POST, [](Request request, Response response) {
            response->json["echo"] = request->body;
        });
        addRoute("/config/save", Method::POST, [](Request request, Response response) {
            std::string port;
            requireString(request->body, "port", port);
            response->json = port;
        });
        addRoute("/rest-error", Method::GET, [](Request, Response response) {
            response->json = "filled before the failure";
            Json::Value body;
            body["exception"] = "busy";
            throw RestException(503, "Service Unavailable", body);
        });
        addRoute("/std-error", Method::GET,
                 [](Request, Response) { throw std::runtime_error("boom"); });
        addRoute("/unknown-error", Method::GET, [](Request, Response) { throw 42; });
    }

private:
    using Request = std::shared_ptr<RestRequest>;
    using Response = std::shared_ptr<RestResponse>;
};

class RestServerTest : public ::testing::Test {
protected:
    RestServerTest() : server(testServerSettings()), running(server) {}

    HttpAnswer send(const std::string& request) { return exchange(running.port(), request); }

    LogCapture log;
    TestRestServer server;
    ServerThread running;
};

void expectDefaultHeaders(const HttpAnswer& answer) {
    EXPECT_EQ(answer.header("Connection"), "close");
    EXPECT_EQ(answer.header("Access-Control-Allow-Headers"),
              "Origin, X-Requested-With, Content-Type, Accept, X-UserCulture");
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

std::string post(const std::string& path, const std::string& body,
                 const std::string& contentType = "application/json; charset=utf-8") {
    return "POST " + path + " HTTP/1.1\r\nContent-Type: " + contentType +
           "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

struct ErrorRow {
    std::string request;
    int status;
    std::string reason;
    std::string body;
};

} // namespace

TEST_F(RestServerTest, SuccessIsCompactJsonWithTheDefaultHeaders) {
    HttpAnswer answer = send("POST /connect HTTP/1.1\r\n\r\n");
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
        EXPECT_TRUE(log.contains("error : Rest exception: " + answer.body));
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
    EXPECT_EQ(send("POST /echo HTTP/1.1\r\n\r\n{\"a\":1}").body, R"({"echo":null})");
    EXPECT_EQ(send(post("/echo", "")).body, R"({"echo":null})");
}

TEST_F(RestServerTest, BodyWithCommentsIsAccepted) {
    EXPECT_EQ(send(post("/echo", "/* note */ {\"a\": 1} // end")).body, R"({"echo":{"a":1}})");
}
