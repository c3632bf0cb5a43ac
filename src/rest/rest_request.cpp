#include "rest/rest_request.h"

#include "rest/rest_exception.h"
#include <json/reader.h>

namespace {

[[noreturn]] void missingParameter(const std::string& name, const char* type) {
    throw RestException(400, "Bad Request", Json::Value("required " + name + " param as " + type));
}

// A body that is not an object (an array, a number) has none of the members asked for.
const Json::Value* member(const Json::Value& object, const std::string& name) {
    return object.isObject() ? object.find(name.data(), name.data() + name.size()) : nullptr;
}

[[noreturn]] void jsonParseError() {
    Json::Value error(Json::objectValue);
    error["exception"] = "Json parse error";
    throw RestException(400, "Bad Request", error);
}

} // namespace

RestRequest::RestRequest(HttpRequest& httpRequest) : httpRequest(&httpRequest) {
    if (announcedBodyLength(httpRequest) == 0) {
        return;
    }
    try {
        if (Json::Reader().parse(httpRequest.content, body)) {
            return;
        }
    } catch (const Json::Exception&) {
        // The reader throws instead of failing for a document nested too deep; for the
        // caller it is a body that does not parse like any other.
    }
    jsonParseError();
}

void requireBool(const Json::Value& object, const std::string& name, bool& out) {
    const Json::Value* value = member(object, name);
    if (value == nullptr || !value->isBool()) {
        missingParameter(name, "bool");
    }
    out = value->asBool();
}

void requireString(const Json::Value& object, const std::string& name, std::string& out) {
    const Json::Value* value = member(object, name);
    if (value == nullptr || !value->isString()) {
        missingParameter(name, "string");
    }
    out = value->asString();
}

void requireInt(const Json::Value& object, const std::string& name, int& out) {
    const Json::Value* value = member(object, name);
    if (value == nullptr || !value->isInt()) {
        missingParameter(name, "int");
    }
    out = value->asInt();
}
