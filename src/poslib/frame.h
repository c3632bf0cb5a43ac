// The printer's frame: STX body # CRC ETX, where the body is the command, a TAB and the
// fields, each followed by a TAB. Shared by the printer library and the virtual printer.
#ifndef POSLIB_FRAME_H
#define POSLIB_FRAME_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace poslib {

constexpr char stx = '\x02';
constexpr char etx = '\x03';
constexpr char tab = '\t';

// CRC-16/XMODEM: polynomial 0x1021, initial 0, no reflection, no final XOR.
uint16_t crc16Xmodem(const std::string& bytes);

// STX body '#' four upper-case hex digits of the body's checksum ETX.
std::string encodeFrame(const std::string& body);

// The body "command TAB field TAB field TAB ...".
std::string composeBody(const std::string& command, const std::vector<std::string>& fields);

// A body split at its TABs: the command and the non-empty fields after it ("naChleb",
// "?2005", "@0001"). The last field may lack its TAB, as a printer's "?nnnn" does.
struct FrameContent {
    std::string command;
    std::vector<std::string> fields;
};
FrameContent splitBody(const std::string& body);

enum class FrameFault {
    None,
    BadChecksum,     // "#" and four characters, but not the body's checksum
    MissingChecksum, // no "#XXXX" before ETX
    MissingEtx,      // a new STX arrived before the ETX of the frame in progress
    TooLong,         // no ETX within the longest frame the decoder accepts
};

struct DecodedFrame {
    FrameFault fault;
    std::string body; // the bytes between STX and "#" (between STX and the cut for faults)
};

// Reassembles frames from the bytes a line delivers in arbitrary pieces. Bytes outside a
// frame are line noise and are dropped; every frame that was started yields exactly one
// DecodedFrame, whole or faulty, so that answers and commands stay counted one for one.
class FrameDecoder {
public:
    static constexpr std::size_t defaultMaxFrame = 8192;

    explicit FrameDecoder(std::size_t maxFrame = defaultMaxFrame) : maxFrame(maxFrame) {}

    void feed(const char* data, std::size_t size);
    // The next complete frame, or nothing until more bytes are fed.
    std::optional<DecodedFrame> next();
    // Forgets a half-received frame (after the line was reopened).
    void reset() { buffer.clear(); }

private:
    DecodedFrame finish(std::size_t etxPosition);

    std::size_t maxFrame;
    std::string buffer; // empty, or starting with STX
};

} // namespace poslib

#endif
