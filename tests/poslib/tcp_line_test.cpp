#include "poslib/connection.h"
#include "poslib/frame.h"
#include "poslib/library_error.h"
#include "poslib/line.h"
#include "poslib/tcp_address.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <future>
#include <gtest/gtest.h>
#include <thread>

using namespace poslib;
using boost::asio::ip::tcp;

namespace {

constexpr std::chrono::seconds kPatience{20};

// A printer on the network stand-in: accepts one connection on a port of its own and lets
// the test decide what the peer does with it. The peer's thread is left to itself, so that a
// test that fails half-way ends instead of waiting for a peer that waits for it.
class TcpPeer {
public:
    TcpPeer() : state_(std::make_shared<State>()) {}

    std::string address() const {
        return "tcp://127.0.0.1:" + std::to_string(state_->acceptor.local_endpoint().port());
    }

    // Runs `serve` on the accepted connection on a thread of its own.
    template <typename Serve> void onConnection(Serve serve) {
        std::thread([state = state_, serve] {
            tcp::socket socket(state->io);
            boost::system::error_code error;
            state->acceptor.accept(socket, error);
            if (!error) {
                serve(socket);
            }
        }).detach();
    }

private:
    struct State {
        boost::asio::io_context io;
        tcp::acceptor acceptor{io, tcp::endpoint(boost::asio::ip::address_v4::loopback(), 0)};
    };
    std::shared_ptr<State> state_;
};

// The peer's side fails only when the line under test went away; what the line saw is what the
// test judges, so these do not throw (which would end the whole test program).
void receive(tcp::socket& socket, std::size_t size) {
    std::string bytes(size, '\0');
    boost::system::error_code ignored;
    boost::asio::read(socket, boost::asio::buffer(&bytes[0], size), ignored);
}

void send(tcp::socket& socket, const std::string& bytes) {
    boost::system::error_code ignored;
    boost::asio::write(socket, boost::asio::buffer(bytes), ignored);
}

PortSettings settingsFor(const std::string& port) {
    PortSettings settings;
    settings.port = port;
    return settings;
}

POSNET_STATUS codeOfOpening(const std::string& port) {
    try {
        openLine(settingsFor(port));
    } catch (const LibraryError& error) {
        return error.code();
    }
    return 0;
}

std::string readAtLeast(Line& line, std::size_t size) {
    std::string received;
    const Clock::time_point deadline = Clock::now() + kPatience;
    while (received.size() < size && Clock::now() < deadline) {
        received += line.read(deadline);
    }
    return received;
}

TEST(TcpLine, BytesWrittenReachThePeerAndItsAnswerComesBack) {
    // The second is more than the sockets' buffers hold: the line waits for room as it goes.
    for (const std::string& bytes : {std::string("frame"), std::string(16 << 20, 'x')}) {
        TcpPeer peer;
        peer.onConnection([size = bytes.size()](tcp::socket& socket) {
            receive(socket, size);
            send(socket, "answer");
        });
        const std::unique_ptr<Line> line = openLine(settingsFor(peer.address()));
        line->write(bytes, Clock::now() + kPatience);
        EXPECT_EQ(readAtLeast(*line, 6), "answer") << bytes.size() << " bytes";
    }
}

TEST(TcpLine, SilentPeerGivesNothingAtTheDeadline) {
    TcpPeer peer;
    peer.onConnection([](tcp::socket& socket) { receive(socket, 4); }); // until "done"
    const std::unique_ptr<Line> line = openLine(settingsFor(peer.address()));
    EXPECT_EQ(line->read(Clock::now() + std::chrono::milliseconds(50)), "");
    EXPECT_EQ(line->read(Clock::now() - std::chrono::seconds(1)), "");
    line->write("done", Clock::now() + kPatience);
}

TEST(TcpLine, PeerThatHangsUpIsALostLine) {
    TcpPeer peer;
    peer.onConnection([](tcp::socket& socket) { socket.close(); });
    const std::unique_ptr<Line> line = openLine(settingsFor(peer.address()));
    try {
        readAtLeast(*line, 1);
        FAIL() << "a closed connection read as a silent one";
    } catch (const LibraryError& error) {
        EXPECT_EQ(error.code(), LineLost);
    }
}

TEST(TcpLine, RefusedConnectionIsAPortNotOpened) {
    std::string address;
    {
        TcpPeer closedAgain;
        address = closedAgain.address();
    }
    EXPECT_EQ(codeOfOpening(address), PortNotOpened);
}

// Refused as text, before any lookup: an empty port would otherwise reach the system's
// lookup, which takes it for port 0.
TEST(TcpLine, AddressWithoutAPortIsAPortNotOpened) {
    for (const char* port : {"tcp://127.0.0.1", "tcp://:6666", "tcp://127.0.0.1:"}) {
        try {
            splitTcpAddress(port);
            ADD_FAILURE() << port << " taken";
        } catch (const LibraryError& error) {
            EXPECT_EQ(error.code(), PortNotOpened) << port;
        }
        EXPECT_EQ(codeOfOpening(port), PortNotOpened) << port;
    }
}

// A name server that does not answer cannot be had on cue: the lookup is played here, held
// until the test lets it go.
TEST(TcpAddressLookup, NameServerThatDoesNotAnswerHoldsTheCallerOnlyUntilTheDeadline) {
    std::promise<void> release;
    const std::shared_future<void> released = release.get_future().share();
    try {
        lookUpTcpAddress("tcp://printer.shop.lan:9100",
                         Clock::now() + std::chrono::milliseconds(50),
                         [released](const TcpAddress&, addrinfo** found) {
                             released.wait();
                             *found = nullptr;
                             return EAI_AGAIN;
                         });
        FAIL() << "the lookup was waited for";
    } catch (const LibraryError& error) {
        EXPECT_EQ(error.code(), PortNotOpened);
    }
    release.set_value();
}

TEST(SerialLine, PortThatDoesNotExistIsAPortNotOpened) {
    EXPECT_EQ(codeOfOpening("COM200"), PortNotOpened);
}

// A device that talks without pause and never answers: every read gives bytes at once. A
// real one cannot be made to outpace the reader on cue, so it is played here.
class ChatteringLine : public Line {
public:
    void write(const std::string&, Clock::time_point) override {}
    std::string read(Clock::time_point) override { return std::string(512, 'x'); }
};

TEST(Connection, WaitEndsAtTheLimitHoweverManyBytesArrive) {
    Connection connection(std::make_unique<ChatteringLine>());
    const auto request = std::make_shared<Request>("sid", "");
    connection.post(request);
    try {
        connection.waitFor(*request, std::chrono::milliseconds(100));
        FAIL() << "noise taken for an answer";
    } catch (const LibraryError& error) {
        EXPECT_EQ(error.code(), LineLost);
    }
}

// A printer that echoes no token, as a model may for the immediate commands: each read gives
// the next of its answers, then nothing. The virtual printer always echoes the token.
class TokenlessPrinter : public Line {
public:
    explicit TokenlessPrinter(std::vector<std::string> answers) : answers_(std::move(answers)) {}
    void write(const std::string&, Clock::time_point) override {}
    std::string read(Clock::time_point) override {
        if (next_ == answers_.size()) {
            return "";
        }
        return encodeFrame(answers_[next_++]);
    }

private:
    std::vector<std::string> answers_;
    std::size_t next_ = 0;
};

// Without a token an answer goes to the waiting request of its command; one that no request
// waits for is dropped.
TEST(Connection, AnswerWithoutATokenReachesTheRequestOfItsCommand) {
    struct Case {
        const char* command;
        std::vector<std::string> answers;
        std::size_t values;
    };
    for (const Case& test :
         {Case{"!sdev", {"sdev\tds0\t"}, 1}, Case{"!sprn", {"sdev\tds0\t", "sprn\tpr0\t"}, 1}}) {
        Connection connection(std::make_unique<TokenlessPrinter>(test.answers));
        const auto request = std::make_shared<Request>(test.command, "");
        connection.post(request);
        connection.waitFor(*request, std::chrono::seconds(1));
        EXPECT_EQ(request->status(), 0) << test.command;
        EXPECT_EQ(request->valueCount(), test.values) << test.command;
    }
}

// What the library wrote, and answers given on cue: which frames carry their token is seen
// only on the wire.
class RecordingLine : public Line {
public:
    explicit RecordingLine(std::vector<std::string>& written) : written_(written) {}
    void write(const std::string& bytes, Clock::time_point) override { written_.push_back(bytes); }
    std::string read(Clock::time_point) override {
        std::string answers;
        answers.swap(pending);
        return answers;
    }
    std::string pending;

private:
    std::vector<std::string>& written_;
};

// Until an answer echoes a token, a late answer to a command given up on may still come; after
// it, only the frames whose answer may be asked for again carry one.
TEST(Connection, FramesCarryTheirTokenOnlyWhereItPays) {
    std::vector<std::string> written;
    auto owned = std::make_unique<RecordingLine>(written);
    RecordingLine& line = *owned;
    Connection connection(std::move(owned));
    const auto first = std::make_shared<Request>("sid", "");
    const auto second = std::make_shared<Request>("sid", "");
    const auto closing = std::make_shared<Request>("trend", "");
    closing->wantToken();
    connection.post(first);
    line.pending = encodeFrame("sid\tnmLate\t") + encodeFrame("sid\t" + first->token() + "\t");
    connection.waitFor(*first, std::chrono::seconds(1));
    connection.post(second);
    connection.post(closing);

    EXPECT_NE(written[0].find(first->token()), std::string::npos);
    EXPECT_EQ(written[1].find('@'), std::string::npos);
    EXPECT_NE(written[2].find(closing->token()), std::string::npos);
    EXPECT_EQ(first->valueCount(), 0u); // the untokened late answer was not taken for it
    EXPECT_THROW(second->wantToken(), LibraryError);
}

} // namespace
