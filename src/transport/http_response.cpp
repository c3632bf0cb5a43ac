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
    std::string text =
        "HTTP/" + httpVersion + " " + std::to_string(status) + " " + statusText + "\r\n";
    for (const auto& header : headers) {
        text += header.first + ": " + header.second + "\r\n";
    }
    text += "\r\n";
    text += body;
    return text;
}
