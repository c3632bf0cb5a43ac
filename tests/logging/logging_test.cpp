#include "logging/log_text.h"
#include "logging/logging.h"
#include "support/data_home.h"
#include <boost/filesystem/fstream.hpp>
#include <boost/filesystem/operations.hpp>
#include <cstdlib>
#include <gtest/gtest.h>
#include <regex>
#include <string>
#include <vector>

namespace {

class LoggingTest : public ::testing::Test {
protected:
    boost::filesystem::path logFolder() const {
        return dataHome.path() / "TrivaneFiscalProxy" / "Logs";
    }

    // One run of a program that sets up logging and writes `message` at every severity.
    void runWriter(const std::string& message) const { run("'" + message + "'"); }

    void run(const std::string& arguments) const {
        const std::string command = std::string(LOG_WRITER) + " " + arguments;
        ASSERT_EQ(std::system(command.c_str()), 0);
    }

    std::vector<std::string> logLines() const {
        boost::filesystem::ifstream file(logFolder() / "log_0.txt");
        std::vector<std::string> lines;
        for (std::string line; std::getline(file, line);) {
            lines.push_back(line);
        }
        return lines;
    }

    TemporaryDataHome dataHome;
};

} // namespace

TEST_F(LoggingTest, LogDirectoryIsCreatedUnderTheLocalDataFolder) {
    EXPECT_EQ(logDirectory(), logFolder());
    EXPECT_TRUE(boost::filesystem::is_directory(logFolder()));
}

TEST_F(LoggingTest, LinesHaveTheTimeStampSeverityMessageAndATrailingSpace) {
    runWriter("Starting application.");
    const std::vector<std::string> lines = logLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(
        std::regex_match(lines.front(), std::regex(R"(\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{6}\] )"
                                                   R"(<info> : Starting application\. )")))
        << lines.front();
}

TEST_F(LoggingTest, OnlyInfoAndAboveReachTheFile) {
    runWriter("m");
    std::vector<std::string> severities;
    for (const std::string& line : logLines()) {
        severities.push_back(line.substr(line.find('<')));
    }
    EXPECT_EQ(severities, (std::vector<std::string>{"<info> : m ", "<warning> : m ", "<error> : m ",
                                                    "<fatal> : m "}));
}

TEST_F(LoggingTest, TwoRunsAppendToTheSameFile) {
    runWriter("first run");
    runWriter("second run");
    const std::vector<std::string> lines = logLines();
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_NE(lines[3].find("first run"), std::string::npos);
    EXPECT_NE(lines[4].find("second run"), std::string::npos);
    EXPECT_FALSE(boost::filesystem::exists(logFolder() / "log_1.txt"));
}

TEST_F(LoggingTest, FileIsContinuedInTheNextOneAfter10MiB) {
    run("--fill 10500000");
    const auto firstSize = boost::filesystem::file_size(logFolder() / "log_0.txt");
    EXPECT_LE(firstSize, 10485760u);
    EXPECT_GT(firstSize, 10400000u);
    EXPECT_TRUE(boost::filesystem::exists(logFolder() / "log_1.txt"));
}

TEST(LogText, ControlBytesCannotStartALineOfTheirOwn) {
    EXPECT_EQ(escapeForLog("COM3"), "COM3");
    EXPECT_EQ(escapeForLog("a\nerror : forged\r\t\x1b[2J\\\x7f"),
              "a\\nerror : forged\\r\\t\\x1b[2J\\\\\\x7f");
    EXPECT_EQ(escapeForLog("Żółw"), "Żółw");
}

TEST(LogText, LongValuesAreCutAtACharacterAndSayHowMuchIsLeftOut) {
    EXPECT_EQ(escapeForLog(std::string(200, 'x')), std::string(200, 'x'));
    EXPECT_EQ(escapeForLog(std::string(1000, 'x')), std::string(200, 'x') + "... (800 more bytes)");
    // "ż" is two bytes: the cut falls before it rather than in its middle.
    EXPECT_EQ(escapeForLog("abż" + std::string(10, 'y'), 3), "ab... (12 more bytes)");
}
