#include "logging/log_text.h"

#include <cstdio>

namespace {

bool continuesCharacter(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// Where a cut at `longest` bytes keeps every UTF-8 character whole.
std::size_t cutPosition(const std::string& text, std::size_t longest) {
    std::size_t cut = longest;
    while (cut > 0 && continuesCharacter(static_cast<unsigned char>(text[cut]))) {
        --cut;
    }
    return cut;
}

std::string escaped(unsigned char byte) {
    switch (byte) {
    case '\\':
        return "\\\\";
    case '\n':
        return "\\n";
    case '\r':
        return "\\r";
    case '\t':
        return "\\t";
    default:
        break;
    }
    if (byte >= 0x20 && byte != 0x7F) {
        return std::string(1, static_cast<char>(byte));
    }
    char code[8];
    std::snprintf(code, sizeof code, "\\x%02x", byte);
    return code;
}

} // namespace

std::string escapeForLog(const std::string& text, std::size_t longest) {
    const std::size_t kept = text.size() > longest ? cutPosition(text, longest) : text.size();
    std::string result;
    for (std::size_t i = 0; i < kept; ++i) {
        result += escaped(static_cast<unsigned char>(text[i]));
    }
    if (kept < text.size()) {
        result += "... (" + std::to_string(text.size() - kept) + " more bytes)";
    }
    return result;
}
