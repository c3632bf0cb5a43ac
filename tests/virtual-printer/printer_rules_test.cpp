// What the virtual printer accepts and refuses, seen through the printer library.
#include "support/posnet_client.h"
#include "support/virtual_printer_process.h"

#include <ctime>
#include <gtest/gtest.h>

namespace {

const char kLine[] = "na,Chleb\nil,1\npr,350\nvt,0\nwa,350";

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::string today() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", &local);
    return text;
}

class PrinterRules : public ::testing::Test {
protected:
    PrinterRules() : printer_({"--date", "2024-03-07"}), client_(printer_.port()) {}

    POSNET_STATUS status(const std::string& command, const std::string& parameters = "") {
        return client_.run(command, parameters).status;
    }

    VirtualPrinterProcess printer_;
    PosnetClient client_;
};

} // namespace

// Each case starts from the receipt state named by its steps, after any open receipt was
// cancelled; the cases run in order on one printer.
TEST_F(PrinterRules, RefusesWhatThePublishedTableRefuses) {
    using Steps = std::vector<std::pair<std::string, std::string>>;
    const Steps open = {{"trinit", "bm,1"}};
    const Steps lined = {{"trinit", "bm,1"}, {"trline", kLine}};
    const Steps paid = {{"trinit", "bm,1"}, {"trline", kLine}, {"trpayment", "ty,0\nwa,350"}};
    const Steps paidShort = {{"trinit", "bm,1"}, {"trline", kLine}, {"trpayment", "ty,0\nwa,300"}};
    const Steps big = {{"trinit", "bm,1"},
                       {"trline", "na,A\nil,1\npr,9999999999\nvt,0\nwa,9999999999"},
                       {"trpayment", "ty,2\nwa,9999999999"}};
    const struct {
        Steps before;
        std::string command, parameters;
        POSNET_STATUS expected;
    } cases[] = {
        {{}, "dailyrep", "da,2024-03-07", 382},
        {{}, "trline", kLine, 2005},
        {{}, "trnipset", "ni,5260250274", 2005},
        {{}, "trpayment", "ty,0\nwa,350", 2005},
        {{}, "trend", "fp,350\nto,350", 2005},
        {open, "trinit", "bm,1", 2038},
        {open, "dailyrep", "da,2024-03-07", 2038},
        {open, "trline", "na,A\nil,1\npr,100\nvt,5\nwa,100", 2000},
        {open, "trline", "na,A\nil,1\npr,100\nvt,7\nwa,100", 2000},
        {open, "trline", "na, -.,\nil,1\npr,100\nvt,0\nwa,100", 2104},
        {open, "trline", "na,\xBF\nil,1\npr,100\nvt,4\nwa,100", 0},
        {open, "trline", "na,A\nil,1\npr,0\nvt,0\nwa,0", 2006},
        {open, "trline", "na,A\nil,0\npr,100\nvt,0\nwa,0", 2007},
        {open, "trline", "na,A\nil,-1\npr,100\nvt,0\nwa,100", 2007},
        {open, "trline", "na,A\nil,1\npr,100\nvt,0\nwa,0", 2009},
        {open, "trline", "na,A\nil,2\npr,100\nvt,0\nwa,100", 2008},
        {open, "trline", "na,A\nil,1.0050\npr,299\nvt,0\nwa,301", 2008},
        {open, "trline", "na,A\nil,1.0050\npr,299\nvt,0\nwa,300", 0},
        {open, "trline", "na,A\nil,2,5\npr,1\nvt,0\nwa,2", 2008},
        {open, "trline", "na,A\nil,2,5\npr,1\nvt,0\nwa,3", 0},
        {open, "trpayment", "ty,1\nwa,350", 2705},
        {open, "trend", "fp,350\nto,350", 1992},
        {lined, "trend", "fp,0\nto,0", 2041},
        {paid, "trend", "fp,351\nto,351", 2805},
        {paid, "trend", "fp,300\nto,350", 2808},
        {paidShort, "trend", "fp,300\nto,350", 2054},
        {big, "trend", "fp,9999999999\nto,9999999999", 0},
        {paid, "trend", "fp,350\nto,350", 2010},
    };
    for (const auto& row : cases) {
        status("prncancel");
        for (const auto& [command, parameters] : row.before) {
            ASSERT_EQ(status(command, parameters), 0) << command << " " << parameters;
        }
        EXPECT_EQ(status(row.command, row.parameters), row.expected)
            << row.command << " " << row.parameters;
    }
}

// The values of strns, scnt and stot after each step, in that order.
TEST_F(PrinterRules, CountsCompletedAndCancelledReceipts) {
    const struct {
        std::string command, parameters, expected;
    } cases[] = {
        {"sid", "", "to0 ts0 fe0 bn0 bc0 bt0 pn0 cn0"},
        {"trinit", "bm,1", "to1 ts17 fe0 bn0 bc0 bt0 pn0 cn0"},
        {"trline", kLine, "to1 ts17 fe0 bn0 bc0 bt0 pn0 cn0"},
        {"trpayment", "ty,0\nwa,350", "to1 ts17 fe0 bn0 bc0 bt0 pn0 cn0"},
        {"trend", "fp,350\nto,350", "to0 ts17 fe0 bn1 bc0 bt1 pn1 cn0"},
        {"trinit", "bm,0", "to1 ts16 fe0 bn1 bc0 bt1 pn1 cn0"},
        {"prncancel", "", "to0 ts16 fe0 bn1 bc1 bt2 pn1 cn1"},
        {"dailyrep", "da,2024-03-07", "to0 ts16 fe0 bn1 bc1 bt2 pn0 cn0"},
    };
    for (const auto& row : cases) {
        ASSERT_EQ(status(row.command, row.parameters), 0) << row.command;
        std::string counters;
        for (const char* query : {"strns", "scnt", "stot"}) {
            for (const auto& [name, value] : client_.run(query).values) {
                counters += (counters.empty() ? "" : " ") + name + value;
            }
        }
        EXPECT_EQ(counters, row.expected) << row.command;
    }
}

TEST_F(PrinterRules, RefusesADailyReportForAnotherDay) {
    EXPECT_EQ(status("dailyrep", "da,2024-03-08"), 3);
    EXPECT_EQ(status("dailyrep", "da,07.03.2024"), 3);
    EXPECT_EQ(printer_.journal(), "");
}

TEST_F(PrinterRules, PrintsTheDailyReportWithTheDaysTotals) {
    status("trinit", "bm,1");
    status("trline", kLine);
    status("trline", "na,Mleko\nil,2\npr,250\nvt,1\nwa,500");
    status("trpayment", "ty,0\nwa,850");
    status("trend", "fp,850\nto,850");
    status("trinit", "bm,1");
    status("prncancel");
    EXPECT_EQ(status("dailyrep", "da,2024-03-07"), 0);
    const std::string journal = printer_.journal();
    EXPECT_TRUE(contains(journal, "DAILY REPORT 2024-03-07 ")) << journal;
    EXPECT_TRUE(contains(journal, "RECEIPTS 1\nCANCELLED 1\nTOTAL A 23,00 3.50\n"
                                  "TOTAL B 8,00 5.00\nTOTAL 8.50\nEND DAILY REPORT\n"))
        << journal;
}

TEST_F(PrinterRules, JournalsACancelledReceiptWithItsLines) {
    status("trinit", "bm,1");
    status("trline", kLine);
    EXPECT_EQ(status("prncancel"), 0);
    EXPECT_TRUE(contains(printer_.journal(), "CANCELLED RECEIPT 2024-03-07 "));
    EXPECT_TRUE(
        contains(printer_.journal(), "LINE Chleb | 1 x 3.50 | 3.50 A\nEND CANCELLED RECEIPT\n"));
    EXPECT_EQ(status("trinit", "bm,1"), 0);
}

TEST_F(PrinterRules, AnswersACancelWithoutAReceiptAndJournalsNothing) {
    EXPECT_EQ(status("prncancel"), 0);
    EXPECT_EQ(printer_.journal(), "");
}

TEST_F(PrinterRules, RefusesMalformedFieldsAsFrameErrors) {
    status("trinit", "bm,1");
    EXPECT_EQ(status("trline", "na,A\nil,1\npr,1,00\nvt,0\nwa,100"), 3);
    EXPECT_EQ(status("trline", "na,A\njm,\nil,1\npr,100\nvt,0\nwa,100"), 6);
    EXPECT_EQ(status("trline", "na,A\nil,1\nvt,0\nwa,100"), 2);
    EXPECT_EQ(status("trline", "na," + std::string(81, 'x') + "\nil,1\npr,100\nvt,0\nwa,100"), 10);
    EXPECT_EQ(status("trline", "na,A\njm,sztuk\nil,1\npr,100\nvt,0\nwa,100"), 10);
    EXPECT_EQ(status("trinit", "bm,x"), 3);
    EXPECT_EQ(status("fooo"), 1);
}

TEST_F(PrinterRules, AnswersItsIdentity) {
    const CommandOutcome identity = client_.run("sid");
    ASSERT_EQ(identity.status, 0);
    ASSERT_EQ(identity.values.size(), 2u);
    EXPECT_EQ(identity.values[0].first, "nm");
    EXPECT_EQ(identity.values[1].first, "vr");
}

TEST(PrinterClock, TakesTodaysLocalDateByDefault) {
    VirtualPrinterProcess printer;
    PosnetClient client(printer.port());
    client.run("trinit", "bm,1");
    client.run("prncancel");
    EXPECT_EQ(client.run("dailyrep", "da," + today()).status, 0);
    EXPECT_TRUE(contains(printer.journal(), "DAILY REPORT " + today()));
}

TEST(PrinterFaults, GoesSilentAfterTheGivenNumberOfFrames) {
    VirtualPrinterProcess printer({"--silent-after", "3"});
    PosnetClient client(printer.port());
    EXPECT_EQ(client.run("sid").status, 0);
    EXPECT_EQ(client.run("sid").status, 0);
    EXPECT_EQ(client.run("sid").status, 0);
    EXPECT_EQ(client.run("sid", "", 200).wait, POSNET_STATUS_DISCONNECTED);
}

TEST(PrinterFaults, RefusesSeveralCommandsOnCue) {
    VirtualPrinterProcess printer({"--refuse", "sid:1:11", "--refuse", "vatget:2:2805"});
    PosnetClient client(printer.port());
    EXPECT_EQ(client.run("sid").status, 11);
    EXPECT_EQ(client.run("sid").status, 0);
    EXPECT_EQ(client.run("vatget").status, 0);
    EXPECT_EQ(client.run("vatget").status, 2805);
}
