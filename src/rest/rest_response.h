#ifndef REST_REST_RESPONSE_H
#define REST_REST_RESPONSE_H

#include "transport/http_response.h"
#include <json/value.h>

// The JSON a route handler answers with, and the HTTP response it may adjust.
class RestResponse {
public:
    explicit RestResponse(HttpResponse& httpResponse);

    // Writes `json` compactly, without line feeds, into the HTTP response's content.
    void send();

    Json::Value json;
    HttpResponse* httpResponse;
};

#endif
