#include "platform/code_page.h"

#include <array>
#include <cstddef>

namespace platform {
namespace {

constexpr char32_t replacementCharacter = 0xFFFD;
constexpr char32_t undefined = replacementCharacter;

// The characters of the bytes 0x80 to 0xFF; the bytes below 0x80 are ASCII.
constexpr std::array<char32_t, 128> upperHalf = {
    0x20AC,    undefined, 0x201A, undefined, 0x201E, 0x2026, 0x2020, 0x2021, // 0x80
    undefined, 0x2030,    0x0160, 0x2039,    0x015A, 0x0164, 0x017D, 0x0179, // 0x88
    undefined, 0x2018,    0x2019, 0x201C,    0x201D, 0x2022, 0x2013, 0x2014, // 0x90
    undefined, 0x2122,    0x0161, 0x203A,    0x015B, 0x0165, 0x017E, 0x017A, // 0x98
    0x00A0,    0x02C7,    0x02D8, 0x0141,    0x00A4, 0x0104, 0x00A6, 0x00A7, // 0xA0
    0x00A8,    0x00A9,    0x015E, 0x00AB,    0x00AC, 0x00AD, 0x00AE, 0x017B, // 0xA8
    0x00B0,    0x00B1,    0x02DB, 0x0142,    0x00B4, 0x00B5, 0x00B6, 0x00B7, // 0xB0
    0x00B8,    0x0105,    0x015F, 0x00BB,    0x013D, 0x02DD, 0x013E, 0x017C, // 0xB8
    0x0154,    0x00C1,    0x00C2, 0x0102,    0x00C4, 0x0139, 0x0106, 0x00C7, // 0xC0
    0x010C,    0x00C9,    0x0118, 0x00CB,    0x011A, 0x00CD, 0x00CE, 0x010E, // 0xC8
    0x0110,    0x0143,    0x0147, 0x00D3,    0x00D4, 0x0150, 0x00D6, 0x00D7, // 0xD0
    0x0158,    0x016E,    0x00DA, 0x0170,    0x00DC, 0x00DD, 0x0162, 0x00DF, // 0xD8
    0x0155,    0x00E1,    0x00E2, 0x0103,    0x00E4, 0x013A, 0x0107, 0x00E7, // 0xE0
    0x010D,    0x00E9,    0x0119, 0x00EB,    0x011B, 0x00ED, 0x00EE, 0x010F, // 0xE8
    0x0111,    0x0144,    0x0148, 0x00F3,    0x00F4, 0x0151, 0x00F6, 0x00F7, // 0xF0
    0x0159,    0x016F,    0x00FA, 0x0171,    0x00FC, 0x00FD, 0x0163, 0x02D9, // 0xF8
};

char32_t decodeByte(unsigned char byte) {
    return byte < 0x80 ? byte : upperHalf[byte - 0x80];
}

char encodeCharacter(char32_t character) {
    if (character < 0x80) {
        return static_cast<char>(character);
    }
    if (character == undefined) {
        return '?';
    }
    for (std::size_t index = 0; index < upperHalf.size(); ++index) {
        if (upperHalf[index] == character) {
            return static_cast<char>(0x80 + index);
        }
    }
    return '?';
}

struct SequenceStart {
    int continuationBytes;
    char32_t leadBits;
    char32_t smallestCharacter;
};

// A lead byte that cannot start a sequence reports -1 continuation bytes.
SequenceStart sequenceStart(unsigned char lead) {
    if ((lead & 0xE0) == 0xC0) {
        return {1, lead & 0x1Fu, 0x80};
    }
    if ((lead & 0xF0) == 0xE0) {
        return {2, lead & 0x0Fu, 0x800};
    }
    if ((lead & 0xF8) == 0xF0) {
        return {3, lead & 0x07u, 0x10000};
    }
    return {-1, 0, 0};
}

bool isCharacter(char32_t value, char32_t smallest) {
    // Overlong forms and UTF-16 surrogates are malformed input, not characters.
    return value >= smallest && value <= 0x10FFFF && (value < 0xD800 || value > 0xDFFF);
}

// Reads the character at `position` and moves past it. A malformed sequence moves past the
// bytes that looked like one character and yields the replacement character once for them.
char32_t nextCharacter(const std::string& utf8, std::size_t& position) {
    const auto lead = static_cast<unsigned char>(utf8[position++]);
    if (lead < 0x80) {
        return lead;
    }
    const SequenceStart start = sequenceStart(lead);
    if (start.continuationBytes < 0) {
        return replacementCharacter;
    }
    char32_t value = start.leadBits;
    for (int count = 0; count < start.continuationBytes; ++count) {
        if (position == utf8.size() ||
            (static_cast<unsigned char>(utf8[position]) & 0xC0) != 0x80) {
            return replacementCharacter;
        }
        value = value << 6 | (static_cast<unsigned char>(utf8[position++]) & 0x3F);
    }
    return isCharacter(value, start.smallestCharacter) ? value : replacementCharacter;
}

// Every character of the code page lies below U+10000, so three bytes always suffice.
void appendUtf8(std::string& out, char32_t character) {
    if (character < 0x80) {
        out += static_cast<char>(character);
    } else if (character < 0x800) {
        out += static_cast<char>(0xC0 | character >> 6);
        out += static_cast<char>(0x80 | (character & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | character >> 12);
        out += static_cast<char>(0x80 | (character >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (character & 0x3F));
    }
}

} // namespace

std::string utf8ToWindows1250(const std::string& utf8) {
    std::string result;
    result.reserve(utf8.size());
    std::size_t position = 0;
    while (position < utf8.size()) {
        result += encodeCharacter(nextCharacter(utf8, position));
    }
    return result;
}

std::string windows1250ToUtf8(const std::string& windows1250) {
    std::string result;
    result.reserve(windows1250.size());
    for (const char byte : windows1250) {
        appendUtf8(result, decodeByte(static_cast<unsigned char>(byte)));
    }
    return result;
}

} // namespace platform
