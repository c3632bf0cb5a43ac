// Feeds arbitrary bytes, as a received header and the start of a body, to the request
// parser and to the body-length rules.
#include "transport/http_exception.h"
#include "transport/http_server.h"
#include "transport/request_framing.h"
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <ostream>

namespace {

void frame(HttpRequest& request) {
    parseRequest(request);
    const std::size_t remaining = bodyBytesToRead(request);
    // A body taken from the buffer must be exactly the announced bytes.
    if (request.headers.count("Content-Length") != 0 && remaining == 0 &&
        request.buffer.size() != announcedBodyLength(request)) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The server never parses a header longer than this.
    if (size > maxHeaderBytes) {
        return 0;
    }
    HttpRequest request;
    std::ostream(&request.buffer)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    try {
        frame(request);
    } catch (const HttpException&) {
        // A refused request is a valid outcome; any other exception is a fault.
    }
    return 0;
}
