#include "transport/http_exception.h"
#include "transport/http_server.h"
#include <gtest/gtest.h>
#include <iterator>
#include <memory>
#include <ostream>
#include <string>

namespace {

std::unique_ptr<HttpRequest> parsed(const std::string& text) {
    auto request = std::make_unique<HttpRequest>();
    std::ostream(&request->buffer) << text;
    parseRequest(*request);
    return request;
}

std::string restOf(HttpRequest& request) {
    return std::string(std::istreambuf_iterator<char>(request.content), {});
}

int statusOf(const std::string& text) {
    try {
        parsed(text);
    } catch (const HttpException& exception) {
        return exception.status;
    }
    return 0;
}

} // namespace

TEST(RequestParser, TakesTheRequestLineAsSentAndLeavesTheBodyInContent) {
    auto request =
        parsed("POST /config/get?x=%20y#top HTTP/1.0\r\nHost: localhost\r\n\r\n{\"a\":1}");
    EXPECT_EQ(request->method, "POST");
    EXPECT_EQ(request->path, "/config/get?x=%20y#top");
    EXPECT_EQ(request->httpVersion, "1.0");
    EXPECT_EQ(request->headers.at("Host"), "localhost");
    EXPECT_EQ(restOf(*request), "{\"a\":1}");
}

TEST(RequestParser, KeepsHeaderTextExceptOneSpaceAfterTheColon) {
    auto request = parsed("GET / HTTP/1.1\r\nA:no-space\r\nB:  two-spaces \r\n"
                          "Name With Space: x\r\nC: first\r\nC: second\r\n"
                          "content-length: 5\r\n\r\n");
    EXPECT_EQ(request->headers.at("A"), "no-space");
    EXPECT_EQ(request->headers.at("B"), " two-spaces ");
    EXPECT_EQ(request->headers.at("Name With Space"), "x");
    EXPECT_EQ(request->headers.at("C"), "second");
}

TEST(RequestParser, HeaderNamesMatchWhateverTheirCase) {
    auto request = parsed("GET / HTTP/1.1\r\ncontent-length: 5\r\nCONTENT-TYPE: a\r\n"
                          "X-Twice: first\r\nx-twice: second\r\n\r\n");
    EXPECT_EQ(request->headers.at("Content-Length"), "5");
    EXPECT_EQ(request->headers.at("content-type"), "a");
    EXPECT_EQ(request->headers.at("X-TWICE"), "second");
    EXPECT_EQ(request->headers.size(), 3u);
    EXPECT_EQ(request->headers.find("Content-Length")->first, "content-length");
}

TEST(RequestParser, AnswersVersionsOtherThan10And11With505) {
    EXPECT_EQ(parsed("GET / HTTP/1.1\r\n\r\n")->httpVersion, "1.1");
    for (const char* version : {"9.9", "2", "2.0", "0.9", "1.10", ""}) {
        EXPECT_EQ(statusOf(std::string("GET / HTTP/") + version + "\r\n\r\n"), 505) << version;
    }
}

TEST(RequestParser, RefusesMalformedRequestsWith400) {
    const char* const malformed[] = {
        "get / HTTP/1.1\r\n\r\n",             // methods are case-sensitive
        "PATCH / HTTP/1.1\r\n\r\n",           // not a known method
        "GET  / HTTP/1.1\r\n\r\n",            // two spaces after the method
        "GET / HTTP/1.1 extra\r\n\r\n",       // a third space
        "GET / HTTPS/1.1\r\n\r\n",            // not HTTP
        "GET / HTTP/1.1\r\nno colon\r\n\r\n", // a header line without a colon
        "GET / HTTP/1.1\r\nA: b\rc\r\n\r\n",  // a carriage return inside a value
        "GET / HTTP/1.1\r\nA: b\r\n",         // no blank line
        "",
    };
    for (const char* text : malformed) {
        EXPECT_EQ(statusOf(text), 400) << text;
    }
}

TEST(RequestParser, AcceptsEveryKnownMethod) {
    for (const char* method : {"GET", "HEAD", "POST", "PUT", "DELETE", "TRACE", "OPTIONS"}) {
        EXPECT_EQ(parsed(std::string(method) + " * HTTP/1.1\r\n\r\n")->method, method);
    }
}

// Lines this long once overflowed the stack of the regular-expression matcher.
TEST(RequestParser, ParsesLinesOfTensOfKilobytes) {
    const std::string path = "/" + std::string(40000, 'p');
    const std::string value(60000, 'v');
    auto request = parsed("GET " + path + " HTTP/1.1\r\nLong: " + value + "\r\n\r\n");
    EXPECT_EQ(request->path, path);
    EXPECT_EQ(request->headers.at("Long"), value);
}
