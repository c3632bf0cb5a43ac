#include "transport/request_framing.h"

#include "transport/http_exception.h"
#include <boost/asio/buffers_iterator.hpp>
#include <ostream>
#include <string>
#include <string_view>

namespace {

void keepOnlyFirst(std::size_t count, boost::asio::streambuf& buffer) {
    const auto data = buffer.data();
    const std::string kept(boost::asio::buffers_begin(data),
                           boost::asio::buffers_begin(data) + count);
    buffer.consume(buffer.size());
    std::ostream(&buffer).write(kept.data(), static_cast<std::streamsize>(kept.size()));
}

} // namespace

std::optional<std::size_t> headerLength(const boost::asio::streambuf& buffer) {
    const auto data = buffer.data();
    const std::string_view read(static_cast<const char*>(data.data()), data.size());
    const std::size_t blankLine = read.find("\r\n\r\n");
    if (blankLine != std::string_view::npos) {
        return blankLine + 4;
    }
    if (read.size() > maxHeaderBytes) {
        return read.size();
    }
    return std::nullopt;
}

void checkHeaderSize(std::size_t headerBytes) {
    if (headerBytes > maxHeaderBytes) {
        // What an image of another site's page can send: an address of over 64 KiB.
        throw Refusal(431, "Request Header Fields Too Large", "requests with a header over 64 KiB",
                      "Request Header Fields Too Large",
                      "Refused a request with a header over 64 KiB (431)");
    }
}

std::size_t bodyBytesToRead(HttpRequest& request) {
    // A chunked (or otherwise encoded) body has no length known in advance; reading it as
    // an empty one would drop it and take its bytes for the next request.
    if (request.headers.count("Transfer-Encoding") != 0) {
        throw HttpException(411, "Length Required");
    }
    const unsigned long long announced = announcedBodyLength(request);
    if (announced > maxBodyBytes) {
        throw HttpException(413, "Payload Too Large");
    }
    const std::size_t length = static_cast<std::size_t>(announced);
    const std::size_t buffered = request.buffer.size();
    if (buffered < length) {
        return length - buffered;
    }
    if (buffered > length) {
        keepOnlyFirst(length, request.buffer);
    }
    return 0;
}
