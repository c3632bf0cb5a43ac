#include "platform/local_time.h"
#include <gtest/gtest.h>
#include <regex>

TEST(CtimeText, PadsTheDayWithASpaceAndTheTimeWithZeros) {
    std::tm time{};
    time.tm_year = 2024 - 1900;
    time.tm_mon = 2;
    time.tm_mday = 7;
    time.tm_wday = 4;
    time.tm_hour = 9;
    time.tm_min = 5;
    time.tm_sec = 1;
    EXPECT_EQ(platform::ctimeText(time), "Thu Mar  7 09:05:01 2024");
    time.tm_mon = 11;
    time.tm_mday = 31;
    time.tm_wday = 0;
    time.tm_hour = 23;
    EXPECT_EQ(platform::ctimeText(time), "Sun Dec 31 23:05:01 2024");
}

TEST(CtimeNow, HasTheCtimeLayoutWithoutLineFeed) {
    const std::string text = platform::ctimeNow();
    EXPECT_TRUE(std::regex_match(text, std::regex("[A-Z][a-z]{2} [A-Z][a-z]{2} [ 123][0-9] "
                                                  "[0-2][0-9]:[0-5][0-9]:[0-6][0-9] [0-9]{4}")))
        << text;
}
