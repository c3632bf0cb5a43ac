#include "journal.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iconv.h>
#include <stdexcept>

namespace virtual_printer {

namespace {

const char replacement[] = "\xEF\xBF\xBD";

// glibc's converter for one code page pair, closed with its owner.
class Converter {
public:
    Converter() : descriptor(::iconv_open("UTF-8", "WINDOWS-1250")) {
        if (descriptor == reinterpret_cast<iconv_t>(-1)) {
            throw std::runtime_error(std::string("no Windows-1250 converter: ") +
                                     std::strerror(errno));
        }
    }
    ~Converter() { ::iconv_close(descriptor); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts one byte; false for a byte the code page leaves undefined.
    bool convert(char byte, std::string& out) {
        char input[1] = {byte};
        char output[8];
        char* in = input;
        char* outPointer = output;
        std::size_t inLeft = 1;
        std::size_t outLeft = sizeof output;
        if (::iconv(descriptor, &in, &inLeft, &outPointer, &outLeft) ==
            static_cast<std::size_t>(-1)) {
            return false;
        }
        out.append(output, sizeof output - outLeft);
        return true;
    }

private:
    iconv_t descriptor;
};

} // namespace

std::string windows1250ToUtf8(const std::string& text) {
    Converter converter;
    std::string utf8;
    for (char byte : text) {
        if (static_cast<unsigned char>(byte) < 0x80) {
            utf8 += byte;
        } else if (!converter.convert(byte, utf8)) {
            utf8 += replacement;
        }
    }
    return utf8;
}

void Journal::append(const std::string& windows1250Document) const {
    std::ofstream file(path, std::ios::app | std::ios::binary);
    file << windows1250ToUtf8(windows1250Document);
    file.flush();
    if (!file) {
        throw std::runtime_error("cannot write the journal " + path);
    }
}

} // namespace virtual_printer
