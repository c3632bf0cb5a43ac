#ifndef REST_REST_REQUEST_H
#define REST_REST_REQUEST_H

#include "transport/http_request.h"
#include <json/value.h>
#include <string>

// A request as a route handler sees it: the body already parsed as JSON.
class RestRequest {
public:
    // Parses the body when "Content-Length" is present and not 0; throws
    // RestException 400 {"exception": "Json parse error"} when it does not parse (nested too
    // deep included).
    explicit RestRequest(HttpRequest& httpRequest);

    Json::Value body;
    HttpRequest* httpRequest;
};

// Read a required member of a JSON object; throw RestException 400 "Bad Request" with the
// body "required <name> param as <type>" when it is missing or of another type, or when
// `object` is not an object at all.
void requireBool(const Json::Value& object, const std::string& name, bool& out);
void requireString(const Json::Value& object, const std::string& name, std::string& out);
void requireInt(const Json::Value& object, const std::string& name, int& out);

#endif
