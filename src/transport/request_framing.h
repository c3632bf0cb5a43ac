// Where a request ends: the blank line after the header, and the body's announced length.
// Both are bounded so that one request cannot take all memory.
#ifndef TRANSPORT_REQUEST_FRAMING_H
#define TRANSPORT_REQUEST_FRAMING_H

#include "transport/http_request.h"
#include <algorithm>
#include <boost/asio/read_until.hpp>
#include <cstddef>
#include <type_traits>
#include <utility>

constexpr std::size_t maxHeaderBytes = 64 * 1024;
constexpr unsigned long long maxBodyBytes = 1024 * 1024;

// Match condition for async_read_until on a request's buffer. It completes just after the
// first "\r\n\r\n", or, once more than maxHeaderBytes are buffered without one, at the end
// of what was read; either way the reported size exceeds maxHeaderBytes exactly when the
// header is too large.
class HeaderEnd {
public:
    explicit HeaderEnd(const boost::asio::streambuf& buffer) : buffer(&buffer) {}

    template <typename Iterator>
    std::pair<Iterator, bool> operator()(Iterator begin, Iterator end) const {
        static const char blankLine[] = "\r\n\r\n";
        const Iterator found = std::search(begin, end, blankLine, blankLine + 4);
        if (found != end) {
            return {found + 4, true};
        }
        if (buffer->size() > maxHeaderBytes) {
            return {end, true};
        }
        // The delimiter may straddle this read and the next one.
        return {end - std::min<std::ptrdiff_t>(end - begin, 3), false};
    }

private:
    const boost::asio::streambuf* buffer;
};

namespace boost {
namespace asio {
template <> struct is_match_condition<HeaderEnd> : std::true_type {};
} // namespace asio
} // namespace boost

// Throws HttpException 431 "Request Header Fields Too Large" for a header that
// HeaderEnd reported as longer than maxHeaderBytes.
void checkHeaderSize(std::size_t headerBytes);

// Called after parsing: how many body bytes are still to be read. 0 without a
// "Content-Length" or when the announced bytes are already buffered; bytes buffered beyond
// the announced length are dropped, so that the body is exactly what was announced.
// Throws HttpException 413 "Payload Too Large" for a length over maxBodyBytes, 400 "Bad
// Request" for a length that is not a number, and 411 "Length Required" for a request that
// names a "Transfer-Encoding" (only bodies of announced length are read).
std::size_t bodyBytesToRead(HttpRequest& request);

#endif
