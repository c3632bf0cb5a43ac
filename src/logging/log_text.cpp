#include "logging/log_text.h"

namespace {

bool continuesUtf8Character(char byte) {
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

// Where to cut: at most `limit` bytes, moved back to the start of a UTF-8 character.
std::size_t cutPosition(const std::string& text, std::size_t limit) {
    if (text.size() <= limit) {
        return text.size();
    }
    std::size_t position = limit;
    while (position > 0 && continuesUtf8Character(text[position])) {
        --position;
    }
    return position;
}

void appendEscaped(char byte, std::string& out) {
    static const char hexDigits[] = "0123456789abcdef";
    const auto code = static_cast<unsigned char>(byte);
    switch (byte) {
    case '\\':
        out += "\\\\";
        return;
    case '\n':
        out += "\\n";
        return;
    case '\r':
        out += "\\r";
        return;
    case '\t':
        out += "\\t";
        return;
    default:
        break;
    }
    if (code < 0x20 || code == 0x7F) {
        out += "\\x";
        out += hexDigits[code >> 4];
        out += hexDigits[code & 0x0F];
        return;
    }
    out += byte;
}

} // namespace

std::string loggableText(const std::string& text, std::size_t limit) {
    const std::size_t kept = cutPosition(text, limit);
    std::string out;
    out.reserve(kept + 32);
    for (std::size_t index = 0; index < kept; ++index) {
        appendEscaped(text[index], out);
    }
    if (kept < text.size()) {
        out += "... [" + std::to_string(text.size() - kept) + " more bytes]";
    }
    return out;
}
