#include "poslib/frame.h"

#include <cstdio>

namespace poslib {

namespace {

constexpr std::size_t checksumLength = 5; // '#' and four hex digits

std::string checksumText(const std::string& body) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(crc16Xmodem(body)));
    return text;
}

} // namespace

uint16_t crc16Xmodem(const std::string& bytes) {
    uint16_t crc = 0;
    for (unsigned char byte : bytes) {
        crc ^= static_cast<uint16_t>(byte << 8);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 0x8000) ? static_cast<uint16_t>((crc << 1) ^ 0x1021)
                                 : static_cast<uint16_t>(crc << 1);
        }
    }
    return crc;
}

std::string encodeFrame(const std::string& body) {
    return stx + body + '#' + checksumText(body) + etx;
}

std::string composeBody(const std::string& command, const std::vector<std::string>& fields) {
    std::string body = command + tab;
    for (const std::string& field : fields) {
        body += field;
        body += tab;
    }
    return body;
}

FrameContent splitBody(const std::string& body) {
    FrameContent content;
    std::size_t start = body.find(tab);
    content.command = body.substr(0, start);
    while (start != std::string::npos) {
        const std::size_t end = body.find(tab, start + 1);
        std::string field =
            body.substr(start + 1, end == std::string::npos ? end : end - start - 1);
        if (!field.empty()) {
            content.fields.push_back(std::move(field));
        }
        start = end;
    }
    return content;
}

void FrameDecoder::feed(const char* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        if (buffer.empty() && data[i] != stx) {
            continue;
        }
        buffer += data[i];
    }
}

std::optional<DecodedFrame> FrameDecoder::next() {
    const std::size_t end = buffer.find_first_of(std::string{stx, etx}, 1);
    if (end == std::string::npos) {
        if (buffer.size() <= maxFrame) {
            return std::nullopt;
        }
        buffer.clear();
        return DecodedFrame{FrameFault::TooLong, {}};
    }
    if (buffer[end] == stx) {
        DecodedFrame cut{FrameFault::MissingEtx, buffer.substr(1, end - 1)};
        buffer.erase(0, end);
        return cut;
    }
    return finish(end);
}

DecodedFrame FrameDecoder::finish(std::size_t etxPosition) {
    std::string content = buffer.substr(1, etxPosition - 1);
    // Bytes between this ETX and the next STX are noise; feed() drops them from now on.
    const std::size_t nextStx = buffer.find(stx, etxPosition);
    buffer.erase(0, nextStx == std::string::npos ? buffer.size() : nextStx);

    if (content.size() < checksumLength || content[content.size() - checksumLength] != '#') {
        return {FrameFault::MissingChecksum, content};
    }
    const std::string digits = content.substr(content.size() - 4);
    content.resize(content.size() - checksumLength);
    // The checksum is written as four upper-case hex digits: any other text differs from it.
    if (digits != checksumText(content)) {
        return {FrameFault::BadChecksum, content};
    }
    return {FrameFault::None, content};
}

} // namespace poslib
