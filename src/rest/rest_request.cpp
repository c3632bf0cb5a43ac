#include "rest/rest_request.h"

#include "rest/rest_exception.h"
#include <json/reader.h>

namespace {

[[noreturn]] void missingParameter(const std::string& name, const char* type) {
    throw RestException(400, "Bad Request", Json::Value("required " + name + " param as " + type));
}

} // namespace

RestRequest::RestRequest(HttpRequest& httpRequest) : httpRequest(&httpRequest) {
    const auto length = httpRequest.headers.find("Content-Length");
    if (length == httpRequest.headers.end() || std::stoull(length->second) == 0) {
        return;
    }
    if (!Json::Reader().parse(httpRequest.content, body)) {
        Json::Value error(Json::objectValue);
        error["exception"] = "Json parse error";
        throw RestException(400, "Bad Request", error);
    }
}

void requireBool(const Json::Value& object, const std::string& name, bool& out) {
    if (!object.isMember(name) || !object[name].isBool()) {
        missingParameter(name, "bool");
    }
    out = object[name].asBool();
}

void requireString(const Json::Value& object, const std::string& name, std::string& out) {
    if (!object.isMember(name) || !object[name].isString()) {
        missingParameter(name, "string");
    }
    out = object[name].asString();
}

void requireInt(const Json::Value& object, const std::string& name, int& out) {
    if (!object.isMember(name) || !object[name].isInt()) {
        missingParameter(name, "int");
    }
    out = object[name].asInt();
}
