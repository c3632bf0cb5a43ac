#include "transport/http_response.h"

#include "platform/local_time.h"

void HttpResponse::finalizeHeaders() {
    body = content.str();
    headers["Date"] = platform::ctimeNow();
    if (headers.find("Content-Length") == headers.end()) {
        headers["Content-Length"] = std::to_string(body.size());
    }
}

std::string HttpResponse::serialize() const {
    const std::string statusNumber = std::to_string(status);
    // Appended in place into room taken once: joining pieces into temporaries cost an
    // allocation and a copy for each piece.
    std::size_t size = 5 + httpVersion.size() + 1 + statusNumber.size() + 1 + statusText.size() +
                       2 + 2 + body.size();
    for (const auto& header : headers) {
        size += header.first.size() + 2 + header.second.size() + 2;
    }
    std::string text;
    text.reserve(size);
    text.append("HTTP/").append(httpVersion).append(" ").append(statusNumber).append(" ");
    text.append(statusText).append("\r\n");
    for (const auto& header : headers) {
        text.append(header.first).append(": ").append(header.second).append("\r\n");
    }
    text.append("\r\n").append(body);
    return text;
}
