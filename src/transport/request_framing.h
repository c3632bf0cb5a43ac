// Where a request ends: the blank line after the header, and the body's announced length.
// Both are bounded so that one request cannot take all memory.
#ifndef TRANSPORT_REQUEST_FRAMING_H
#define TRANSPORT_REQUEST_FRAMING_H

#include "transport/http_request.h"
#include <boost/asio/streambuf.hpp>
#include <cstddef>
#include <optional>

constexpr std::size_t maxHeaderBytes = 64 * 1024;
constexpr unsigned long long maxBodyBytes = 1024 * 1024;

// Where the header ends in what has been read: just after the first "\r\n\r\n", or, once more
// than maxHeaderBytes are buffered without one, at the end of what was read; either way the
// length exceeds maxHeaderBytes exactly when the header is too large. None while the header
// may still go on.
std::optional<std::size_t> headerLength(const boost::asio::streambuf& buffer);

// Throws Refusal 431 "Request Header Fields Too Large" for a header that
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
