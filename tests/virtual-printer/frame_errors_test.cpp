// The virtual printer's answers to frames as they arrive on the line, good and malformed.
#include "poslib/frame.h"
#include "support/virtual_printer_process.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

using poslib::encodeFrame;

namespace {

// A bare TCP connection to the printer, for frames the library would never send.
class RawLine {
public:
    explicit RawLine(const std::string& port) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port =
            htons(static_cast<uint16_t>(std::stoi(port.substr(port.rfind(':') + 1))));
        // A safety net against a hanging run only, far above any answer time.
        const timeval limit{60, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            throw std::runtime_error("cannot connect to " + port);
        }
    }
    ~RawLine() { ::close(fd_); }

    void send(const std::string& bytes) {
        ASSERT_EQ(::send(fd_, bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
    }

    // The body of the next answer frame, which comes with `fault`.
    std::string answer(poslib::FrameFault fault = poslib::FrameFault::None) {
        for (;;) {
            if (std::optional<poslib::DecodedFrame> frame = decoder_.next()) {
                EXPECT_EQ(frame->fault, fault);
                return frame->body;
            }
            char buffer[512];
            const ssize_t count = ::recv(fd_, buffer, sizeof buffer, 0);
            if (count <= 0) {
                throw std::runtime_error("the printer did not answer");
            }
            decoder_.feed(buffer, static_cast<std::size_t>(count));
        }
    }

private:
    int fd_;
    poslib::FrameDecoder decoder_;
};

class FrameErrors : public ::testing::Test {
protected:
    FrameErrors() : printer_({}, VirtualPrinterProcess::Line::Tcp), line_(printer_.port()) {}

    std::string answerTo(const std::string& bytes) {
        line_.send(bytes);
        return line_.answer();
    }

    VirtualPrinterProcess printer_;
    RawLine line_;
};

} // namespace

TEST_F(FrameErrors, AnswersAGoodFrameWithItsCommand) {
    EXPECT_EQ(answerTo("\x02trinit\tbm0\t#4825\x03"), "trinit\t");
}

TEST_F(FrameErrors, AnswersABadChecksum) {
    EXPECT_EQ(answerTo("\x02trinit\tbm0\t#4826\x03"), "ERR\t?5\t");
}

TEST_F(FrameErrors, AnswersAMissingChecksum) {
    EXPECT_EQ(answerTo("\x02trinit\tbm0\t\x03"), "ERR\t?15\t");
}

TEST_F(FrameErrors, AnswersAFrameCutShortAndThenTheNextFrame) {
    line_.send("\x02trinit\tbm" + encodeFrame("sid\t"));
    EXPECT_EQ(line_.answer(), "ERR\t?6\t");
    EXPECT_EQ(line_.answer().compare(0, 4, "sid\t"), 0);
}

TEST_F(FrameErrors, IgnoresNoiseBetweenFrames) {
    EXPECT_EQ(answerTo("\r\n\xFFnoise" + encodeFrame("trinit\tbm0\t") + "\n"), "trinit\t");
}

TEST_F(FrameErrors, TakesAFrameDeliveredInPieces) {
    const std::string frame = encodeFrame("trinit\tbm1\t");
    line_.send(frame.substr(0, 5));
    line_.send(frame.substr(5));
    EXPECT_EQ(line_.answer(), "trinit\t");
}

TEST_F(FrameErrors, NamesAnUnknownCommand) {
    EXPECT_EQ(answerTo(encodeFrame("trfoo\t")), "ERR\t?1\tcmtrfoo\t");
}

TEST_F(FrameErrors, NamesAMissingField) {
    answerTo(encodeFrame("trinit\t"));
    EXPECT_EQ(answerTo(encodeFrame("trline\tnaA\til1\tvt0\twa100\t")), "ERR\t?2\tcmtrline\tfdpr\t");
}

TEST_F(FrameErrors, AnswersAFieldWithoutMnemonic) {
    EXPECT_EQ(answerTo(encodeFrame("trinit\tb\t")), "ERR\t?6\tcmtrinit\t");
}

TEST_F(FrameErrors, EchoesAGoodTokenAndRefusesABadOne) {
    EXPECT_EQ(answerTo(encodeFrame("sid\t@0042\t")).compare(0, 10, "sid\t@0042\t"), 0);
    EXPECT_EQ(answerTo(encodeFrame("sid\t@42\t")), "ERR\t?4\tcmsid\t");
    EXPECT_EQ(answerTo(encodeFrame("trfoo\t@0043\t")), "ERR\t@0043\t?1\tcmtrfoo\t");
    EXPECT_EQ(answerTo(encodeFrame("trline\t@0044\tna\t")), "ERR\t@0044\t?6\tcmtrline\tfdna\t");
    EXPECT_EQ(answerTo("\x02sid\t@0045\t#0000\x03"), "ERR\t@0045\t?5\t");
}

TEST_F(FrameErrors, AllowsImmediateExecutionOnlyForStatusQueries) {
    EXPECT_EQ(answerTo(encodeFrame("!sprn\t")), "sprn\tpr0\t");
    EXPECT_EQ(answerTo(encodeFrame("!sdev\t@0001\t")), "sdev\t@0001\tds0\t");
    EXPECT_EQ(answerTo(encodeFrame("!trinit\tbm0\t")), "ERR\t?12\tcmtrinit\t");
}

TEST(ImmediateNames, AnswerStatusQueriesUnderTheirImmediateNames) {
    VirtualPrinterProcess printer({"--immediate-names"});
    RawLine line(printer.port());
    line.send(encodeFrame("!sprn\t") + encodeFrame("!sdev\t@0001\t") + encodeFrame("sdev\t"));
    for (const char* expected : {"!sprn\tpr0\t", "!sdev\t@0001\tds0\t", "sdev\tds0\t"}) {
        EXPECT_EQ(line.answer(), expected);
    }
}

// 33 tokened answers, refusals and frame errors among them; the first is forgotten, and the
// answers to rpt push out none of the others.
TEST_F(FrameErrors, RepeatsTheAnswersItKeeps) {
    for (int token = 1000; token < 1031; ++token) {
        answerTo(encodeFrame("sdev\t@" + std::to_string(token) + "\t"));
    }
    answerTo(encodeFrame("trnipset\t@1031\tni1\t"));
    answerTo(encodeFrame("trfoo\t@1032\t"));
    const std::pair<std::string, std::string> cases[] = {
        {"rpt\t@1000\t", "ERR\t@1000\t?13\tcmrpt\t"},
        {"rpt\t@1001\t", "sdev\t@1001\tds0\t"},
        {"rpt\t@1031\t", "trnipset\t@1031\t?2005"},
        {"rpt\t@1032\t", "ERR\t@1032\t?1\tcmtrfoo\t"},
        {"rpt\t@1030\t", "sdev\t@1030\tds0\t"},
        {"rpt\t", "ERR\t?2\tcmrpt\t"},
        {"!rpt\t@1001\t", "ERR\t@1001\t?12\tcmrpt\t"},
    };
    for (const auto& [frame, expected] : cases) {
        EXPECT_EQ(answerTo(encodeFrame(frame)), expected) << frame;
    }
}

// The command runs, its answer never comes or comes damaged, and rpt gives it whole; a
// command the line closed before never runs, nor does one behind it; after a closed line the
// next connection finds the printer as it was.
TEST(LostAnswers, ExecuteTheCommandAndKeepTheAnswer) {
    VirtualPrinterProcess printer({"--drop-answer", "trinit:1", "--close-after", "trinit:2",
                                   "--damage-answer", "strns:1", "--close-before", "trinit:3"});
    RawLine line(printer.port());
    line.send(encodeFrame("trinit\t@0001\tbm1\t") + encodeFrame("strns\t@0002\t") +
              encodeFrame("rpt\t@0001\t") + encodeFrame("rpt\t@0002\t") +
              encodeFrame("prncancel\t") + encodeFrame("trinit\t@0003\tbm0\t"));
    EXPECT_EQ(line.answer(poslib::FrameFault::BadChecksum), "strns\t@0002\tto1\tts17\tfe0\t");
    EXPECT_EQ(line.answer(), "trinit\t@0001\t");
    EXPECT_EQ(line.answer(), "strns\t@0002\tto1\tts17\tfe0\t");
    EXPECT_EQ(line.answer(), "prncancel\t");
    EXPECT_THROW(line.answer(), std::runtime_error);
    RawLine again(printer.port());
    again.send(encodeFrame("trinit\t@0005\tbm0\t") + encodeFrame("strns\t@0006\t"));
    EXPECT_THROW(again.answer(), std::runtime_error);
    RawLine third(printer.port());
    third.send(encodeFrame("strns\t@0004\t") + encodeFrame("rpt\t@0003\t") +
               encodeFrame("rpt\t@0005\t") + encodeFrame("rpt\t@0006\t"));
    EXPECT_EQ(third.answer(), "strns\t@0004\tto1\tts16\tfe0\t");
    EXPECT_EQ(third.answer(), "trinit\t@0003\t");
    EXPECT_EQ(third.answer(), "ERR\t@0005\t?13\tcmrpt\t");
    EXPECT_EQ(third.answer(), "ERR\t@0006\t?13\tcmrpt\t");
}

TEST_F(FrameErrors, AnswersACommandErrorWithoutTabBeforeTheChecksum) {
    EXPECT_EQ(answerTo(encodeFrame("trline\tnaA\til1\tpr1\tvt0\twa1\t")), "trline\t?2005");
}

TEST_F(FrameErrors, AnswersAnOverlongFrameAsInputBufferFull) {
    line_.send("\x02" + std::string(20000, 'x'));
    EXPECT_EQ(line_.answer(), "ERR\t?11\t");
    EXPECT_EQ(answerTo("\x03" + encodeFrame("trinit\tbm0\t")), "trinit\t");
}
