#include "rest/rest_response.h"

#include <algorithm>
#include <json/writer.h>

RestResponse::RestResponse(HttpResponse& httpResponse) : httpResponse(&httpResponse) {}

void RestResponse::send() {
    if (document) {
        httpResponse->content << *document;
        return;
    }
    std::string text = Json::FastWriter().write(json);
    // Strings carry their line feeds escaped, so this only drops the writer's final one.
    text.erase(std::remove(text.begin(), text.end(), '\n'), text.end());
    httpResponse->content << text;
}

void RestResponse::setDocument(const std::string& type, const std::string& text) {
    mediaType = type;
    document = text;
}
