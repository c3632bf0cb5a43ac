#include "poslib/frame.h"

#include <gtest/gtest.h>

using namespace poslib;

namespace {

std::vector<DecodedFrame> decodeAll(FrameDecoder& decoder, const std::string& bytes) {
    decoder.feed(bytes.data(), bytes.size());
    std::vector<DecodedFrame> frames;
    while (std::optional<DecodedFrame> frame = decoder.next()) {
        frames.push_back(*frame);
    }
    return frames;
}

std::vector<DecodedFrame> decodeAll(const std::string& bytes) {
    FrameDecoder decoder;
    return decodeAll(decoder, bytes);
}

const std::string kTrinitFrame = "\x02trinit\tbm0\t#4825\x03";

} // namespace

TEST(Checksum, MatchesThePublishedVectors) {
    EXPECT_EQ(crc16Xmodem("123456789"), 0x31C3);
    EXPECT_EQ(crc16Xmodem("trinit\tbm0\t"), 0x4825);
}

TEST(Checksum, CoversBytesAboveAscii) {
    EXPECT_NE(crc16Xmodem("na\xB9\t"), crc16Xmodem("na\x39\t"));
}

TEST(FrameEncoding, ProducesThePublishedFrame) {
    EXPECT_EQ(encodeFrame(composeBody("trinit", {"bm0"})), kTrinitFrame);
}

TEST(FrameEncoding, WritesTheChecksumInUpperCaseWithLeadingZeros) {
    const std::string frame = encodeFrame("trinit\tbm1\t");
    const std::string digits = frame.substr(frame.size() - 5, 4);
    EXPECT_EQ(digits.find_first_not_of("0123456789ABCDEF"), std::string::npos) << digits;
    EXPECT_EQ(frame[frame.size() - 6], '#');
}

TEST(FrameRoundTrip, KeepsWindows1250BytesHashesAndCommas) {
    const std::string body = composeBody("trline", {"na\xA5\xB9\xBF\xFF #1, 2", "wa100"});
    const std::vector<DecodedFrame> frames = decodeAll(encodeFrame(body));
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].fault, FrameFault::None);
    EXPECT_EQ(frames[0].body, body);
    const FrameContent content = splitBody(frames[0].body);
    EXPECT_EQ(content.command, "trline");
    EXPECT_EQ(content.fields, (std::vector<std::string>{"na\xA5\xB9\xBF\xFF #1, 2", "wa100"}));
}

TEST(FrameRoundTrip, SplitsAnErrorNumberThatHasNoTab) {
    const FrameContent content = splitBody("trline\t?2000");
    EXPECT_EQ(content.command, "trline");
    EXPECT_EQ(content.fields, std::vector<std::string>{"?2000"});
}

TEST(FrameDecoding, ReassemblesAFrameDeliveredByteByByte) {
    FrameDecoder decoder;
    for (std::size_t i = 0; i + 1 < kTrinitFrame.size(); ++i) {
        decoder.feed(&kTrinitFrame[i], 1);
        ASSERT_FALSE(decoder.next().has_value()) << "after byte " << i;
    }
    decoder.feed(&kTrinitFrame.back(), 1);
    const std::optional<DecodedFrame> frame = decoder.next();
    ASSERT_TRUE(frame.has_value());
    EXPECT_EQ(frame->fault, FrameFault::None);
    EXPECT_EQ(frame->body, "trinit\tbm0\t");
}

TEST(FrameDecoding, SeparatesFramesThatArriveInOneRead) {
    const std::vector<DecodedFrame> frames =
        decodeAll(kTrinitFrame + encodeFrame("vatget\t") + kTrinitFrame);
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[1].body, "vatget\t");
    EXPECT_EQ(frames[2].fault, FrameFault::None);
}

TEST(FrameDecoding, DropsNoiseBeforeStxAndBetweenFrames) {
    const std::vector<DecodedFrame> frames =
        decodeAll(std::string("\xFF\x00garbage\x03#12", 13) + kTrinitFrame + "\r\n" + kTrinitFrame);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].fault, FrameFault::None);
    EXPECT_EQ(frames[1].fault, FrameFault::None);
}

TEST(FrameDecoding, ReportsAFrameCutShortByTheNextStxAndKeepsTheNext) {
    const std::vector<DecodedFrame> frames = decodeAll("\x02trinit\tbm" + kTrinitFrame);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].fault, FrameFault::MissingEtx);
    EXPECT_EQ(frames[1].fault, FrameFault::None);
    EXPECT_EQ(frames[1].body, "trinit\tbm0\t");
}

TEST(FrameDecoding, WaitsForTheEndOfAFrameWithoutEtx) {
    FrameDecoder decoder;
    EXPECT_TRUE(decodeAll(decoder, "\x02trinit\tbm0\t#4825").empty());
    EXPECT_EQ(decodeAll(decoder, "\x03").size(), 1u);
}

TEST(FrameDecoding, ReportsABadChecksum) {
    const std::vector<DecodedFrame> frames = decodeAll("\x02trinit\tbm0\t#4826\x03");
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].fault, FrameFault::BadChecksum);
}

TEST(FrameDecoding, ReportsAChangedByteAsABadChecksum) {
    std::string frame = kTrinitFrame;
    frame[9] = '1';
    EXPECT_EQ(decodeAll(frame).at(0).fault, FrameFault::BadChecksum);
}

TEST(FrameDecoding, TakesLowerCaseChecksumDigitsAsBad) {
    ASSERT_EQ(encodeFrame("vatget\t"), "\x02vatget\t#86AC\x03");
    EXPECT_EQ(decodeAll("\x02vatget\t#86ac\x03").at(0).fault, FrameFault::BadChecksum);
}

TEST(FrameDecoding, ReportsAMissingChecksum) {
    EXPECT_EQ(decodeAll("\x02trinit\tbm0\t\x03").at(0).fault, FrameFault::MissingChecksum);
    EXPECT_EQ(decodeAll("\x02trinit\tbm0\t#48\x03").at(0).fault, FrameFault::MissingChecksum);
    EXPECT_EQ(decodeAll("\x02\x03").at(0).fault, FrameFault::MissingChecksum);
}

TEST(FrameDecoding, GivesUpOnAnEndlessFrameAndRecoversAtTheNextStx) {
    FrameDecoder decoder(64);
    const std::vector<DecodedFrame> overflow = decodeAll(decoder, "\x02" + std::string(100, 'x'));
    ASSERT_EQ(overflow.size(), 1u);
    EXPECT_EQ(overflow[0].fault, FrameFault::TooLong);
    const std::vector<DecodedFrame> after =
        decodeAll(decoder, std::string(50, 'y') + "\x03" + kTrinitFrame);
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(after[0].fault, FrameFault::None);
}

TEST(FrameDecoding, ForgetsAHalfFrameOnReset) {
    FrameDecoder decoder;
    decodeAll(decoder, "\x02trinit\tb");
    decoder.reset();
    const std::vector<DecodedFrame> frames = decodeAll(decoder, "m0\t#4825\x03" + kTrinitFrame);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].fault, FrameFault::None);
}
