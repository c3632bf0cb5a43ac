#include "transport/request_framing.h"

#include "transport/http_exception.h"
#include <boost/asio/buffers_iterator.hpp>
#include <ostream>
#include <string>

namespace {

void keepOnlyFirst(std::size_t count, boost::asio::streambuf& buffer) {
    const auto data = buffer.data();
    const std::string kept(boost::asio::buffers_begin(data),
                           boost::asio::buffers_begin(data) + count);
    buffer.consume(buffer.size());
    std::ostream(&buffer).write(kept.data(), static_cast<std::streamsize>(kept.size()));
}

} // namespace

void checkHeaderSize(std::size_t headerBytes) {
    if (headerBytes > maxHeaderBytes) {
        throw HttpException(431, "Request Header Fields Too Large");
    }
}

std::size_t bodyBytesToRead(HttpRequest& request) {
    const auto header = request.headers.find("Content-Length");
    if (header == request.headers.end()) {
        return 0;
    }
    const unsigned long long announced = std::stoull(header->second);
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
