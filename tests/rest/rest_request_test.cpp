#include "rest/rest_exception.h"
#include "rest/rest_request.h"
#include "rest/rest_router.h"
#include <gtest/gtest.h>
#include <json/reader.h>
#include <stdexcept>

namespace {

Json::Value parsedJson(const std::string& text) {
    Json::Value value;
    Json::Reader().parse(text, value);
    return value;
}

// The body of the RestException that `read` throws; null when it throws none.
template <typename Read> Json::Value refusal(Read read) {
    try {
        read();
    } catch (const RestException& exception) {
        EXPECT_EQ(exception.status, 400);
        EXPECT_EQ(exception.message, "Bad Request");
        return exception.body;
    }
    return Json::Value();
}

} // namespace

TEST(RequireInt, AcceptsWholeNumbersThatFitInt) {
    const Json::Value object = parsedJson(R"({"a": 5, "b": 5.0, "c": -2147483648})");
    int out = 0;
    requireInt(object, "a", out);
    EXPECT_EQ(out, 5);
    requireInt(object, "b", out);
    EXPECT_EQ(out, 5);
    requireInt(object, "c", out);
    EXPECT_EQ(out, -2147483648);
}

TEST(RequireInt, RefusesFractionsHugeNumbersTextAndAbsence) {
    const Json::Value object = parsedJson(R"({"a": 5.5, "b": 3000000000, "port": "5"})");
    int out = 0;
    for (const char* name : {"a", "b", "port", "missing"}) {
        EXPECT_EQ(refusal([&] { requireInt(object, name, out); }),
                  Json::Value(std::string("required ") + name + " param as int"));
    }
}

TEST(RequireBoolAndString, AcceptOnlyTheirOwnType) {
    const Json::Value object = parsedJson(R"({"flag": true, "number": 1, "port": "COM1"})");
    bool flag = false;
    requireBool(object, "flag", flag);
    EXPECT_TRUE(flag);
    std::string port;
    requireString(object, "port", port);
    EXPECT_EQ(port, "COM1");
    EXPECT_EQ(refusal([&] { requireBool(object, "number", flag); }),
              Json::Value("required number param as bool"));
    EXPECT_EQ(refusal([&] { requireString(object, "number", port); }),
              Json::Value("required number param as string"));
}

TEST(Require, OnAValueThatIsNotAnObjectFindsTheMemberMissing) {
    int out = 0;
    for (const char* body : {"[1, 2]", "7", "\"port\"", "null"}) {
        EXPECT_EQ(refusal([&] { requireInt(parsedJson(body), "port", out); }),
                  Json::Value("required port param as int"))
            << body;
    }
}

TEST(MethodName, NamesTheTwoMethodsAndNothingElse) {
    EXPECT_EQ(methodName(Method::GET), "GET");
    EXPECT_EQ(methodName(Method::POST), "POST");
    EXPECT_EQ(methodName(static_cast<Method>(2)), "");
}
