// Feeds arbitrary bytes, as a received header and the start of a body, to the request
// parser and to the body-length rules.
#include "transport/http_exception.h"
#include "transport/http_server.h"
#include "transport/request_framing.h"
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <ostream>
#include <stdexcept>

namespace {

void frame(HttpRequest& request) {
    parseRequest(request);
    const std::size_t remaining = bodyBytesToRead(request);
    const auto length = request.headers.find("Content-Length");
    // A body taken from the buffer must be exactly the announced bytes.
    if (length != request.headers.end() && remaining == 0 &&
        request.buffer.size() != std::stoull(length->second)) {
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
        // A refused request is a valid outcome.
    } catch (const std::invalid_argument&) {
        // A length that is not a number; the server answers it with 500.
    } catch (const std::out_of_range&) {
        // A length beyond 64 bits; likewise.
    }
    return 0;
}
