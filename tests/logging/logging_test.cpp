#include "logging/log_text.h"
#include "logging/logging.h"
#include "logging/refusal_log.h"
#include "support/data_home.h"
#include "support/log_capture.h"
#include <boost/filesystem/fstream.hpp>
#include <boost/filesystem/operations.hpp>
#include <cstdint>
#include <cstdlib>
#include <ctime>
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

    // Files from earlier runs, `first` the oldest: log_FIRST.txt and on, each `size` bytes
    // (sparse) and each written a minute after the one before, `daysAgo` days ago.
    void makeOldFiles(int first, int count, std::uintmax_t size, int daysAgo = 3) const {
        boost::filesystem::create_directories(logFolder());
        const std::time_t start = std::time(nullptr) - daysAgo * 24 * 3600;
        for (int index = 0; index < count; ++index) {
            makeFile("log_" + std::to_string(first + index) + ".txt", size, start + 60 * index);
        }
    }

    void makeFile(const std::string& name, std::uintmax_t size, std::time_t written) const {
        const auto file = logFolder() / name;
        boost::filesystem::ofstream(file) << "old\n";
        boost::filesystem::resize_file(file, size);
        boost::filesystem::last_write_time(file, written);
    }

    std::vector<std::string> fileNames() const {
        std::vector<std::string> names;
        for (const auto& entry : boost::filesystem::directory_iterator(logFolder())) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }

    bool exists(const std::string& name) const {
        return boost::filesystem::exists(logFolder() / name);
    }

    std::uintmax_t folderSize() const {
        std::uintmax_t total = 0;
        for (const auto& entry : boost::filesystem::directory_iterator(logFolder())) {
            total += boost::filesystem::file_size(entry.path());
        }
        return total;
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

TEST_F(LoggingTest, QueuedLinesHaveTheSameFormatAndGoBeforeLaterLines) {
    // Five hours behind UTC, so that a stamp in another zone than the file's would fall out of
    // order.
    setenv("TZ", "XYZ+05", 1);
    run("--later first second third");
    unsetenv("TZ");
    const std::vector<std::string> lines = logLines();
    ASSERT_EQ(lines.size(), 3u);
    const std::string stamp = R"(\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{6}\] )";
    EXPECT_TRUE(std::regex_match(lines[0], std::regex(stamp + "<info> : first "))) << lines[0];
    EXPECT_TRUE(std::regex_match(lines[1], std::regex(stamp + "<warning> : second "))) << lines[1];
    EXPECT_TRUE(std::regex_match(lines[2], std::regex(stamp + "<info> : third "))) << lines[2];
    // Each stamp is the time of its line's making, so they keep the lines' order.
    EXPECT_LE(lines[0].substr(0, 28), lines[1].substr(0, 28));
    EXPECT_LE(lines[1].substr(0, 28), lines[2].substr(0, 28));
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

// At start, and whenever a file is closed in a rotation, the oldest files go until the next
// file has room.
TEST_F(LoggingTest, OldestFilesGoBeyondFiftyFiles) {
    // Older than them all, but not the program's: what else is in the folder stays.
    boost::filesystem::create_directories(logFolder());
    boost::filesystem::ofstream(logFolder() / "notes-of-the-shop.txt") << "kept\n";
    boost::filesystem::last_write_time(logFolder() / "notes-of-the-shop.txt", 0);
    makeOldFiles(100, 60, 10);
    // Older still, but not the program's: a shop's own files stay.
    for (const char* name : {"log_kasa_raport_listopad.txt", "log_7a.txt", "log_.txt"}) {
        makeFile(name, 10, std::time(nullptr) - 9 * 24 * 3600);
    }
    runWriter("m");
    EXPECT_EQ(fileNames().size(), 54u);
    EXPECT_TRUE(exists("notes-of-the-shop.txt"));
    EXPECT_TRUE(exists("log_kasa_raport_listopad.txt"));
    EXPECT_TRUE(exists("log_7a.txt"));
    EXPECT_FALSE(exists("log_110.txt"));
    EXPECT_TRUE(exists("log_111.txt"));
    EXPECT_TRUE(exists("log_159.txt"));
    EXPECT_TRUE(exists("log_0.txt"));
}

TEST_F(LoggingTest, OldestFilesGoBeyond100MiB) {
    makeOldFiles(200, 12, 9 * 1024 * 1024);
    runWriter("m");
    EXPECT_LE(folderSize(), 100u * 1024 * 1024);
    EXPECT_FALSE(exists("log_201.txt"));
    EXPECT_TRUE(exists("log_202.txt"));
    EXPECT_TRUE(exists("log_0.txt"));
}

// However many lines a caller makes the program write, today's and yesterday's stay.
TEST_F(LoggingTest, FilesOfTodayAndYesterdayAreNeverRemoved) {
    makeOldFiles(300, 8, 9 * 1024 * 1024, 1);
    makeOldFiles(400, 8, 9 * 1024 * 1024, 0);
    makeOldFiles(500, 2, 10, 2);
    runWriter("m");
    EXPECT_EQ(fileNames().size(), 17u);
    EXPECT_FALSE(exists("log_501.txt"));
    EXPECT_TRUE(exists("log_300.txt"));
}

TEST_F(LoggingTest, RotationKeepsTheFolderBounded) {
    makeOldFiles(100, 49, 10);
    run("--fill 10500000");
    EXPECT_EQ(fileNames().size(), 50u);
    EXPECT_FALSE(exists("log_100.txt"));
    EXPECT_TRUE(exists("log_101.txt"));
    EXPECT_TRUE(exists("log_0.txt"));
    EXPECT_TRUE(exists("log_1.txt"));
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

TEST(RefusalLog, FirstRefusalInFullThenAtMostOneCountAMinute) {
    LogCapture log;
    RefusalLog refusals;
    const RefusalLog::Clock::time_point start;
    const auto at = [start](int second) { return start + std::chrono::seconds(second); };
    refusals.refuse("requests of A", "A in full", at(0));
    refusals.refuse("requests of A", "A again", at(10));
    refusals.refuse("requests of A", "A again", at(30));
    EXPECT_EQ(refusals.writeDue(at(59)), at(60));
    EXPECT_EQ(refusals.writeDue(at(60)), std::nullopt);
    refusals.refuse("requests of A", "A again", at(70));
    EXPECT_EQ(refusals.writeDue(at(200)), std::nullopt);
    // Quiet for a minute since its last line: in full again.
    refusals.refuse("requests of A", "A in full later", at(300));
    for (int caller = 0; caller < 34; ++caller) {
        refusals.refuse("requests of " + std::to_string(caller), "caller " + std::to_string(caller),
                        at(301));
    }
    refusals.writeAll();
    const std::string count = "warning : Since the last line about them, refused ";
    std::vector<std::string> expected{"error : A in full", count + "2 more: requests of A",
                                      count + "1 more: requests of A", "error : A in full later"};
    for (int caller = 0; caller < 31; ++caller) {
        expected.push_back("error : caller " + std::to_string(caller));
    }
    expected.push_back("error : caller 31");
    expected.push_back(count + "2 more: requests and connections of further callers");
    EXPECT_EQ(log.lines(), expected);
}

// Another account or page must not fill the owner's disk: past the budget one line says so.
TEST(RefusalLog, LinesPastTheDaysBudgetAreLeftOutAndOneLineSaysSo) {
    LogCapture log;
    RefusalLog refusals(20);
    const RefusalLog::Clock::time_point start;
    const auto at = [start](int second) { return start + std::chrono::seconds(second); };
    refusals.refuse("A", "0123456789", at(0));
    refusals.refuse("B", "0123456789", at(1));
    refusals.refuse("C", "x", at(2));
    refusals.refuse("D", "y", at(3));
    refusals.refuse("A", "A again", at(4));
    EXPECT_EQ(refusals.writeDue(at(60)), std::nullopt);
    refusals.refuse("E", "a day later", at(2 + 24 * 3600));
    EXPECT_EQ(log.lines(),
              (std::vector<std::string>{
                  "error : 0123456789", "error : 0123456789",
                  "warning : The log's budget of 20 bytes a day for lines that callers can cause "
                  "is spent: such lines are left out for the rest of the day; the program's own "
                  "lines and its requests' are still written",
                  "error : a day later"}));
}
