#ifndef TRANSPORT_HTTP_REQUEST_H
#define TRANSPORT_HTTP_REQUEST_H

#include <boost/asio/streambuf.hpp>
#include <istream>
#include <string>
#include <unordered_map>

using HttpHeaders = std::unordered_map<std::string, std::string>;

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
};

#endif
