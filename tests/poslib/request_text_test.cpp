#include "poslib/library_error.h"
#include "poslib/request_text.h"

#include <gtest/gtest.h>

using namespace poslib;

namespace {

POSNET_STATUS refusalOf(const std::string& command, const std::string& parameters) {
    try {
        requestBody(command, parameters);
    } catch (const LibraryError& error) {
        return error.code();
    }
    return 0;
}

POSNET_STATUS brokenAnswer(const std::string& body) {
    try {
        parseAnswer(body);
    } catch (const LibraryError& error) {
        return error.code();
    }
    return 0;
}

} // namespace

TEST(RequestBody, PutsEachNameRightBeforeItsValue) {
    EXPECT_EQ(requestBody("trline", "na,Chleb\nvt,0"), "trline\tnaChleb\tvt0\t");
}

TEST(RequestBody, SendsACommandWithoutParametersAsItsNameAndTab) {
    EXPECT_EQ(requestBody("vatget", ""), "vatget\t");
    EXPECT_EQ(requestBody("!sprn", ""), "!sprn\t");
}

TEST(RequestBody, KeepsCommasAndWindows1250BytesInsideValues) {
    EXPECT_EQ(requestBody("trline", "na,Mi\xEAso, wo\xB3owe\nil,1,5"),
              "trline\tnaMi\xEAso, wo\xB3owe\til1,5\t");
}

TEST(RequestBody, KeepsAnEmptyValue) {
    EXPECT_EQ(requestBody("trline", "jm,"), "trline\tjm\t");
}

TEST(RequestBody, RefusesEveryControlByteInAValue) {
    for (const char* value : {"Chle\tb", "Chleb\r", "\x01", "a\x1F", "a\x02"}) {
        EXPECT_EQ(refusalOf("trline", std::string("na,") + value), ControlByteInValue) << value;
    }
    EXPECT_EQ(refusalOf("trline", std::string("na,a\0b", 6)), ControlByteInValue);
}

TEST(RequestBody, RefusesEntriesThatAreNotNameCommaValue) {
    EXPECT_EQ(refusalOf("trline", "naChleb"), MalformedRequest);
    EXPECT_EQ(refusalOf("trline", "nam,Chleb"), MalformedRequest);
    EXPECT_EQ(refusalOf("trline", ",Chleb"), MalformedRequest);
    EXPECT_EQ(refusalOf("trline", "n\t,x"), MalformedRequest);
    EXPECT_EQ(refusalOf("trline", "na,Chleb\n"), MalformedRequest);
    EXPECT_EQ(refusalOf("trline", "na,Chleb\n\nvt,0"), MalformedRequest);
}

TEST(RequestBody, RefusesCommandsThatWouldBreakTheFrame) {
    EXPECT_EQ(refusalOf("", ""), MalformedRequest);
    EXPECT_EQ(refusalOf("!", ""), MalformedRequest);
    EXPECT_EQ(refusalOf("tr init", ""), MalformedRequest);
    EXPECT_EQ(refusalOf("trinit\t", ""), MalformedRequest);
    EXPECT_EQ(refusalOf("TRINIT", ""), MalformedRequest);
}

TEST(AnswerParsing, ReadsASuccessWithoutData) {
    const Answer answer = parseAnswer("trinit\t");
    EXPECT_EQ(answer.command, "trinit");
    EXPECT_EQ(answer.status, 0);
    EXPECT_TRUE(answer.values.empty());
}

TEST(AnswerParsing, ReadsValuesInTheirOrder) {
    const Answer answer = parseAnswer("vatget\tva23,00\tvb8,00\t@0001\t");
    ASSERT_EQ(answer.values.size(), 2u);
    EXPECT_EQ(answer.values[0].name, "va");
    EXPECT_EQ(answer.values[0].value, "23,00");
    EXPECT_EQ(answer.values[1].name, "vb");
}

TEST(AnswerParsing, ReadsTheCommandErrorNumber) {
    EXPECT_EQ(parseAnswer("trline\t?2000").status, 2000);
}

TEST(AnswerParsing, ReadsTheFrameErrorNumber) {
    const Answer answer = parseAnswer("ERR\t?5\tcmtrline\t");
    EXPECT_EQ(answer.command, "ERR");
    EXPECT_EQ(answer.status, 5);
}

TEST(AnswerParsing, TakesTheFirstErrorNumberThatIsNotZero) {
    EXPECT_EQ(parseAnswer("trline\t?2005\t?0").status, 2005);
    EXPECT_EQ(parseAnswer("trline\t?0\t?2005\t").status, 2005);
    EXPECT_EQ(parseAnswer("trline\t?0").status, 0);
}

TEST(AnswerParsing, NeverReadsAFrameErrorAsSuccess) {
    EXPECT_EQ(parseAnswer("ERR\t").status, UnexpectedAnswer);
    EXPECT_EQ(parseAnswer("ERR\t?0\t").status, UnexpectedAnswer);
    EXPECT_EQ(parseAnswer("ERR\t?x1\tcmtrend\t").status, UnexpectedAnswer);
    EXPECT_EQ(parseAnswer("ERR\t?0\t?3\tcmtrend\t").status, 3);
    EXPECT_EQ(parseAnswer("ERR\t?2\t?0\t").status, 2);
}

TEST(AnswerParsing, KeepsTheEchoedTokenAndTheImmediateMark) {
    EXPECT_EQ(parseAnswer("sid\t@0042\tnmX\t").token, "@0042");
    EXPECT_EQ(parseAnswer("trinit\t").token, "");
    EXPECT_EQ(parseAnswer("!sdev\tds0\t").command, "!sdev");
}

TEST(AnswerParsing, RefusesBodiesThatAreNoAnswer) {
    EXPECT_EQ(brokenAnswer("trline\t?20x0"), BrokenAnswerFrame);
    EXPECT_EQ(brokenAnswer("trline\t?"), BrokenAnswerFrame);
    EXPECT_EQ(brokenAnswer("trline\tx\t"), BrokenAnswerFrame);
    EXPECT_EQ(brokenAnswer("\x01\x02\t"), BrokenAnswerFrame);
    EXPECT_EQ(brokenAnswer("!\tds0\t"), BrokenAnswerFrame);
    EXPECT_EQ(brokenAnswer("trline\t?99999999999"), BrokenAnswerFrame);
}
