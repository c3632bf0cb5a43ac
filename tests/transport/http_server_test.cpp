#include "support/log_capture.h"
#include "support/server_thread.h"
#include "support/test_certificate.h"
#include "support/tls_client.h"
#include "transport/connection_limits.h"
#include "transport/http_server.h"
#include <algorithm>
#include <fstream>
#include <future>
#include <thread>
#include <gtest/gtest.h>
#include <iterator>
#include <memory>
#include <regex>
#include <stdexcept>
#include <vector>

namespace {

// Answers with the method, the path and every body byte it was given; a few paths throw.
// "/later" is answered from a thread of its own once "/release" has come, its failure as
// the handler's own exceptions are.
class EchoHandler : public HttpHandler {
public:
    ~EchoHandler() override {
        for (std::thread& thread : later) {
            thread.join();
        }
    }

    void handle(std::shared_ptr<HttpRequest> request, std::shared_ptr<HttpResponse> response,
                HttpReply answer) override {
        response->content << "partial";
        if (request->path == "/throw/http") {
            throw HttpException(409, "Conflict");
        }
        if (request->path == "/throw/std") {
            throw std::runtime_error("boom");
        }
        if (request->path == "/throw/unknown") {
            throw 42;
        }
        if (request->path == "/later") {
            later.emplace_back([this, answer] {
                released.get_future().wait();
                answer(std::make_exception_ptr(HttpException(504, "Later")));
            });
            return;
        }
        if (request->path == "/release") {
            released.set_value();
        }
        response->content.str("");
        response->content << request->method << " " << request->path << "\n"
                          << std::string(std::istreambuf_iterator<char>(request->content), {});
        answer(nullptr);
    }

    std::promise<void> released;
    std::vector<std::thread> later;
};

struct EchoServer {
    explicit EchoServer(const ServerSettings& settings) : http(settings) {
        http.answerWith(handler);
    }

    EchoHandler handler;
    HttpServer http;
};

class HttpServerTest : public ::testing::Test {
protected:
    explicit HttpServerTest(long timeoutSeconds = 10)
        : server(testServerSettings(timeoutSeconds)), running(server.http) {}

    HttpAnswer send(const std::string& request) { return exchange(running.port(), request); }

    LogCapture log;
    EchoServer server;
    ServerThread running;
};

// A server whose timeouts end quickly, for the tests that wait for them.
class HttpServerTimeoutTest : public HttpServerTest {
protected:
    HttpServerTimeoutTest() : HttpServerTest(1) {}
};

void expectStatus(const HttpAnswer& answer, int status, const std::string& reason) {
    EXPECT_EQ(answer.status, status) << answer.raw;
    EXPECT_EQ(answer.reason, reason) << answer.raw;
}

using Clients = std::vector<std::unique_ptr<TlsClient>>;

// `count` connections that have completed the handshake and sent nothing; each is accepted
// before the next one connects.
Clients idleClients(unsigned short port, std::size_t count) {
    Clients clients;
    for (std::size_t index = 0; index < count; ++index) {
        clients.push_back(std::make_unique<TlsClient>(port));
    }
    return clients;
}

const std::size_t announcedBody = 1024 * 1024;
const std::size_t sentBeforeStopping = 900 * 1024;

// Connections that announced a 1 MiB body and sent 900 KiB of it.
Clients clientsInTheMiddleOfABody(unsigned short port, std::size_t count) {
    const std::string header =
        "POST /echo HTTP/1.1\r\nContent-Length: " + std::to_string(announcedBody) + "\r\n\r\n";
    const std::string part(sentBeforeStopping, 'b');
    Clients clients = idleClients(port, count);
    for (const auto& client : clients) {
        client->send(header);
        client->send(part);
    }
    return clients;
}

// Sends the rest of each body; how many requests were answered whole.
std::size_t finishBodies(const Clients& clients) {
    const std::string rest(announcedBody - sentBeforeStopping, 'b');
    std::size_t answered = 0;
    for (const auto& client : clients) {
        client->send(rest);
        const HttpAnswer answer = client->receive();
        if (answer.status == 200) {
            EXPECT_EQ(answer.body.size(), std::string("POST /echo\n").size() + announcedBody);
            ++answered;
        } else {
            EXPECT_EQ(answer.raw, "") << "a connection closed to make room gets no answer";
        }
    }
    return answered;
}

std::size_t countLines(const LogCapture& log, const std::string& line) {
    const std::vector<std::string> lines = log.lines();
    return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), line));
}

#ifdef __linux__
// The most memory the process has held so far, in bytes.
std::size_t peakResidentBytes() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.compare(0, 6, "VmHWM:") == 0) {
            return std::stoul(line.substr(6)) * 1024;
        }
    }
    throw std::runtime_error("no VmHWM in /proc/self/status");
}
#endif

} // namespace

TEST_F(HttpServerTest, AnswersWithStatusLineDateLengthAndConnectionClose) {
    HttpAnswer answer = send("GET /config/get HTTP/1.0\r\nHost: localhost\r\n"
                             "Connection: keep-alive\r\n\r\n");
    expectStatus(answer, 200, "OK");
    EXPECT_EQ(answer.httpVersion, "1.1");
    EXPECT_EQ(answer.body, "GET /config/get\n");
    EXPECT_EQ(answer.header("Content-Length"), std::to_string(answer.body.size()));
    EXPECT_EQ(answer.header("Connection"), "close");
    EXPECT_TRUE(std::regex_match(answer.header("Date"),
                                 std::regex("(Mon|Tue|Wed|Thu|Fri|Sat|Sun) "
                                            "(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
                                            "[ 1-3][0-9] [0-2][0-9]:[0-5][0-9]:[0-6][0-9] "
                                            "[0-9]{4}")))
        << answer.header("Date");
}

TEST_F(HttpServerTest, MalformedRequestLineIsAnswered400AndLogged) {
    HttpAnswer answer = send("GET  /two-spaces HTTP/1.1\r\n\r\n");
    expectStatus(answer, 400, "Bad Request");
    EXPECT_EQ(answer.body, "Bad Request");
    EXPECT_EQ(answer.header("Content-Type"), "text/plain");
    EXPECT_EQ(answer.header("Connection"), "close");
    EXPECT_TRUE(
        log.contains("error : Refused a request of 127.0.0.1 (this account): 400 Bad Request"));
}

TEST_F(HttpServerTest, HandlerExceptionsBecomeAnswersWithoutWhatTheHandlerWrote) {
    HttpAnswer http = send("GET /throw/http HTTP/1.1\r\n\r\n");
    expectStatus(http, 409, "Conflict");
    EXPECT_EQ(http.body, "Conflict");

    HttpAnswer standard = send("GET /throw/std HTTP/1.1\r\n\r\n");
    expectStatus(standard, 500, "Internal Server Error");
    EXPECT_EQ(standard.body, "Internal Server Error: boom");
    EXPECT_TRUE(log.contains("error : Http exception[std]: boom"));

    HttpAnswer unknown = send("GET /throw/unknown HTTP/1.1\r\n\r\n");
    expectStatus(unknown, 500, "Internal Server Error");
    EXPECT_EQ(unknown.body, "Internal Server Error");
    EXPECT_TRUE(log.contains("error : Http exception: unknown"));
}

TEST_F(HttpServerTest, BodyArrivingInSeveralRecordsIsReadWhole) {
    TlsClient client(running.port());
    client.send("POST /echo HTTP/1.1\r\nContent-Length: 12\r\n\r\n");
    client.send("four");
    client.send("more");
    client.send("done");
    EXPECT_EQ(client.receive().body, "POST /echo\nfourmoredone");
}

TEST_F(HttpServerTest, BytesBeyondTheAnnouncedLengthAreNotPartOfTheBody) {
    HttpAnswer answer = send("POST /echo HTTP/1.1\r\nContent-Length: 3\r\n\r\nabcGET / HTTP/1.1");
    expectStatus(answer, 200, "OK");
    EXPECT_EQ(answer.body, "POST /echo\nabc");
}

TEST_F(HttpServerTest, LengthIsFoundWhateverTheCaseOfItsName) {
    EXPECT_EQ(send("POST /echo HTTP/1.1\r\ncontent-length: 5\r\n\r\nhello").body,
              "POST /echo\nhello");
    EXPECT_EQ(send("POST /echo HTTP/1.1\r\nCONTENT-LENGTH:  3 \r\n\r\nabc").body,
              "POST /echo\nabc");
    EXPECT_EQ(send("POST /echo HTTP/1.1\r\nContent-Length: 0\r\n\r\n").body, "POST /echo\n");
}

TEST_F(HttpServerTest, LengthThatIsNotADecimalNumberIsABadRequest) {
    for (const char* length : {"ten", "6junk", "-1", "+6", "0x6", "", "18446744073709551616",
                               "99999999999999999999999"}) {
        HttpAnswer answer = send(std::string("POST /echo HTTP/1.1\r\nContent-Length: ") + length +
                                 "\r\n\r\nbody==");
        expectStatus(answer, 400, "Bad Request");
        EXPECT_EQ(answer.body, "Bad Request") << length;
    }
    EXPECT_FALSE(log.contains("Http exception[std]"));
}

TEST_F(HttpServerTest, BodyWithATransferEncodingIsAnswered411) {
    for (const char* header : {"Transfer-Encoding: chunked", "transfer-encoding: gzip, chunked"}) {
        HttpAnswer answer = send(std::string("POST /echo HTTP/1.1\r\n") + header +
                                 "\r\nContent-Length: 3\r\n\r\n5\r\nhello\r\n0\r\n\r\n");
        expectStatus(answer, 411, "Length Required");
    }
}

TEST_F(HttpServerTest, HeaderOfExactly64KiBIsServed) {
    const std::string start = "GET / HTTP/1.1\r\nX-Filler: ";
    const std::string header = start + std::string(64 * 1024 - start.size() - 4, 'x') + "\r\n\r\n";
    ASSERT_EQ(header.size(), 64u * 1024);
    EXPECT_EQ(send(header).status, 200);
}

TEST_F(HttpServerTest, BodyOfExactly1MiBIsServed) {
    const std::string body(1024 * 1024, 'b');
    HttpAnswer answer = send("POST /echo HTTP/1.1\r\nContent-Length: 1048576\r\n\r\n" + body);
    expectStatus(answer, 200, "OK");
    EXPECT_EQ(answer.body, "POST /echo\n" + body);
}

// A request whose answer takes longer than the timeout is not closed for it, and the event
// loop answers others meanwhile.
TEST_F(HttpServerTimeoutTest, AnswerFromAnotherThreadArrivesAfterTheTimeout) {
    auto later =
        std::async(std::launch::async, [this] { return send("GET /later HTTP/1.1\r\n\r\n"); });
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_EQ(send("GET /release HTTP/1.1\r\n\r\n").body, "GET /release\n");
    const HttpAnswer answer = later.get();
    expectStatus(answer, 504, "Later");
    EXPECT_EQ(answer.body, "Later");
}

TEST_F(HttpServerTimeoutTest, ClientThatStopsInTheHeaderIsClosedWithoutAnswer) {
    TlsClient client(running.port());
    client.send("GET / HTTP/1.1\r\nHost: localhost\r\n");
    EXPECT_EQ(client.receive().raw, "");
}

TEST_F(HttpServerTimeoutTest, ClientThatStopsInTheBodyIsClosedWithoutAnswer) {
    TlsClient client(running.port());
    client.send("POST /echo HTTP/1.1\r\nContent-Length: 10\r\n\r\nabc");
    EXPECT_EQ(client.receive().raw, "");
}

TEST_F(HttpServerTimeoutTest, LinesEndingInBareLineFeedsAreNeverAnswered) {
    TlsClient client(running.port());
    client.send("GET / HTTP/1.1\nHost: localhost\n\n");
    EXPECT_EQ(client.receive().raw, "");
}

// Each closing is logged collapsed with the others, so that a flood cannot fill the disk.
TEST(HttpServerLimits, OldestIdleConnectionsAreClosedFirstSoThatAPromptClientIsServed) {
    LogCapture log;
    ServerSettings settings = testServerSettings();
    settings.maxConnections = 8;
    {
        EchoServer server(settings);
        ServerThread running(server.http);
        const Clients idle = idleClients(running.port(), 20);

        expectStatus(exchange(running.port(), "GET /prompt HTTP/1.1\r\n\r\n"), 200, "OK");
        // 20 idle and one prompt connection with room for 8: the 13 oldest were closed.
        for (std::size_t index = 0; index < 13; ++index) {
            EXPECT_EQ(idle[index]->receive().raw, "") << index;
        }
        for (std::size_t index = 13; index < idle.size(); ++index) {
            idle[index]->send("GET /late HTTP/1.1\r\n\r\n");
            EXPECT_EQ(idle[index]->receive().body, "GET /late\n") << index;
        }
    }
    EXPECT_EQ(countLines(log, "error : Connection limit of 8 reached: closed the oldest "
                              "connection that had not sent a whole request"),
              1u);
    EXPECT_EQ(countLines(log, "warning : Since the last line about them, refused 12 more: "
                              "connections closed to make room at the connection limit"),
              1u);
}

// A connection being answered (a receipt being printed) or sending its body (the owner's slow
// upload) is never closed to make room: the oldest one still waiting for its request goes,
// and with none waiting the new one is refused.
TEST(HttpServerLimits, ConnectionsBeingAnsweredOrSendingABodyAreNeverClosedToMakeRoom) {
    enum State { Waiting, Answered, SendingBody };
    struct Held : HeldConnection {
        void close(const std::string&) override { closed = true; }
        State state = Waiting;
        bool closed = false;
    };
    LogCapture log;
    for (const State second : {Waiting, Answered, SendingBody}) {
        ConnectionLimits limits(2, announcedBody, [](const std::string&, const std::string&) {});
        Held held[3];
        held[0].state = Answered;
        held[1].state = second;
        for (Held& connection : held) {
            if (!limits.admit(connection)) {
                continue;
            }
            if (connection.state == Answered) {
                limits.answerStarted(connection);
            } else if (connection.state == SendingBody) {
                EXPECT_TRUE(limits.reserveBody(connection, announcedBody));
            }
        }
        EXPECT_FALSE(held[0].closed);
        EXPECT_EQ(held[1].closed, second == Waiting);
        for (Held& connection : held) {
            limits.release(connection);
        }
    }
}

TEST(HttpServerLimits, BodiesHeldAcrossConnectionsStayWithinTheirBound) {
    LogCapture log;
    ServerSettings settings = testServerSettings();
    settings.maxBodyBytesHeld = 3 * announcedBody;
    EchoServer server(settings);
    ServerThread running(server.http);
    const Clients slow = clientsInTheMiddleOfABody(running.port(), 10);

    const HttpAnswer prompt =
        exchange(running.port(), "POST /prompt HTTP/1.1\r\nContent-Length: 2\r\n\r\n{}");
    EXPECT_EQ(prompt.body, "POST /prompt\n{}");
    EXPECT_LE(finishBodies(slow), 3u);
    EXPECT_EQ(countLines(log, "error : Request bodies held reached 3145728 bytes: closed the "
                              "oldest connection that had not sent its whole body"),
              1u);
}

// 300 connections each holding 900 KiB of an announced 1 MiB body, with the program's own
// limits: without a bound they would hold 270 MiB.
TEST(HttpServerLimits, ThreeHundredUnfinishedBodiesAddLittleMemory) {
    LogCapture log;
    EchoServer server(testServerSettings());
    ServerThread running(server.http);
#ifdef __linux__
    const std::size_t peakBefore = peakResidentBytes();
#endif
    const Clients slow = clientsInTheMiddleOfABody(running.port(), 300);
    EXPECT_EQ(exchange(running.port(), "GET /prompt HTTP/1.1\r\n\r\n").status, 200);
    EXPECT_LE(finishBodies(slow) * announcedBody, ServerSettings().maxBodyBytesHeld);
#ifdef __linux__
    EXPECT_LT(peakResidentBytes() - peakBefore, 200u * 1024 * 1024);
#endif
}
