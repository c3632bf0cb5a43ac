#ifndef TRANSPORT_HTTP_REQUEST_H
#define TRANSPORT_HTTP_REQUEST_H

#include <boost/asio/ip/address.hpp>
#include <boost/asio/streambuf.hpp>
#include <cstddef>
#include <istream>
#include <string>
#include <unordered_map>

// Header names compare without regard to ASCII case, as HTTP has them: a lookup of
// "Content-Length" finds "content-length". A stored name keeps the spelling it was first
// stored with.
struct HeaderNameHash {
    std::size_t operator()(const std::string& name) const;
};
struct HeaderNameEqual {
    bool operator()(const std::string& left, const std::string& right) const;
};
using HttpHeaders = std::unordered_map<std::string, std::string, HeaderNameHash, HeaderNameEqual>;

// One request as read from a connection; the body is read from `content`.
class HttpRequest {
public:
    HttpRequest();

    boost::asio::streambuf buffer;
    std::string method;
    std::string path;
    std::string httpVersion;
    HttpHeaders headers;
    std::istream content;
    // The address of this computer that the client connected to.
    boost::asio::ip::address serverAddress;
};

// The body length that "Content-Length" announces; 0 without one. Throws HttpException 400
// "Bad Request" for a value that is not a decimal number (signs, other characters and
// numbers beyond 64 bits included); spaces around the digits are allowed.
unsigned long long announcedBodyLength(const HttpRequest& request);

#endif
