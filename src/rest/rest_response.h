#ifndef REST_REST_RESPONSE_H
#define REST_REST_RESPONSE_H

#include "transport/http_response.h"
#include <json/value.h>
#include <optional>
#include <string>

// The JSON a route handler answers with, and the HTTP response it may adjust.
class RestResponse {
public:
    explicit RestResponse(HttpResponse& httpResponse);

    // Writes `json` compactly, without line feeds, into the HTTP response's content; or the
    // document, when the handler gave one.
    void send();
    // Answers with `text` of the media type `type` instead of `json`: the program's own page.
    void setDocument(const std::string& type, const std::string& text);
    // "application/json", or the type of the document.
    const std::string& contentType() const { return mediaType; }

    Json::Value json;
    HttpResponse* httpResponse;

private:
    std::string mediaType = "application/json";
    std::optional<std::string> document;
};

#endif
