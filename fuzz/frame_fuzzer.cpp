// Feeds arbitrary bytes to the frame decoder in pieces of a size the input chooses, as a
// serial line delivers them, and checks what the decoder promises: whole frames are the
// ones sent, every started frame yields one result, and how the bytes were cut up does not
// matter. The same bytes, as bodies, must survive encoding and decoding unchanged.
#include "poslib/frame.h"
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

std::vector<poslib::DecodedFrame> decode(const std::string& bytes, std::size_t pieceSize,
                                         std::size_t maxFrame) {
    poslib::FrameDecoder decoder(maxFrame);
    std::vector<poslib::DecodedFrame> frames;
    for (std::size_t start = 0; start < bytes.size(); start += pieceSize) {
        decoder.feed(bytes.data() + start, std::min(pieceSize, bytes.size() - start));
        while (auto frame = decoder.next()) {
            frames.push_back(*frame);
        }
    }
    return frames;
}

bool sameFrames(const std::vector<poslib::DecodedFrame>& a,
                const std::vector<poslib::DecodedFrame>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const poslib::DecodedFrame& x, const poslib::DecodedFrame& y) {
                          return x.fault == y.fault && x.body == y.body;
                      });
}

// Frames that were started and then ended by an ETX or by the next STX.
std::size_t endedFrames(const std::string& bytes) {
    const std::size_t starts = std::count(bytes.begin(), bytes.end(), poslib::stx);
    const std::size_t lastStart = bytes.rfind(poslib::stx);
    const bool lastEnded =
        lastStart != std::string::npos && bytes.find(poslib::etx, lastStart) != std::string::npos;
    return starts == 0 || lastEnded ? starts : starts - 1;
}

void checkRawLine(const std::string& bytes, std::size_t pieceSize) {
    // Large enough that no frame of this input is too long.
    const std::size_t roomy = bytes.size() + 1;
    const std::vector<poslib::DecodedFrame> whole = decode(bytes, bytes.size(), roomy);
    require(sameFrames(whole, decode(bytes, pieceSize, roomy)));
    require(whole.size() == endedFrames(bytes));
    for (const poslib::DecodedFrame& frame : whole) {
        require(frame.body.find_first_of(std::string{poslib::stx, poslib::etx}) ==
                std::string::npos);
        require(frame.fault != poslib::FrameFault::None ||
                bytes.find(poslib::encodeFrame(frame.body)) != std::string::npos);
    }
    // A small limit cuts long frames short; a whole frame must still be one that was sent.
    for (const poslib::DecodedFrame& frame : decode(bytes, pieceSize, 16 + pieceSize)) {
        require(frame.fault != poslib::FrameFault::None ||
                bytes.find(poslib::encodeFrame(frame.body)) != std::string::npos);
    }
}

// The bytes without STX and ETX, cut at line feeds into bodies, sent as frames.
void checkRoundTrip(const std::string& bytes, std::size_t pieceSize) {
    std::string text = bytes;
    text.erase(std::remove_if(text.begin(), text.end(),
                              [](char c) { return c == poslib::stx || c == poslib::etx; }),
               text.end());
    std::vector<std::string> bodies;
    std::string line;
    for (std::size_t start = 0, end = 0; start <= text.size(); start = end + 1) {
        end = std::min(text.find('\n', start), text.size());
        bodies.push_back(text.substr(start, end - start));
        line += poslib::encodeFrame(bodies.back());
    }
    const std::vector<poslib::DecodedFrame> frames =
        decode(line, pieceSize, poslib::FrameDecoder::defaultMaxFrame + line.size());
    require(frames.size() == bodies.size());
    for (std::size_t i = 0; i < frames.size(); ++i) {
        require(frames[i].fault == poslib::FrameFault::None && frames[i].body == bodies[i]);
        require(poslib::splitBody(frames[i].body).command ==
                bodies[i].substr(0, bodies[i].find(poslib::tab)));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    // The first byte chooses how the line cuts the rest into pieces.
    const std::size_t pieceSize = 1 + data[0] % 32;
    const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    checkRawLine(bytes, pieceSize);
    checkRoundTrip(bytes, pieceSize);
    return 0;
}
