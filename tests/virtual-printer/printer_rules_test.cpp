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

    // The answer's values as "nameValue nameValue ...".
    std::string values(const std::string& query) {
        std::string text;
        for (const auto& [name, value] : client_.run(query).values) {
            text += (text.empty() ? "" : " ") + name + value;
        }
        return text;
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
    const Steps over = {{"trinit", "bm,1"}, {"trline", kLine}, {"trpayment", "ty,2\nwa,400"}};
    const Steps percent = {{"trinit", "bm,1"},
                           {"trline", "na,Ser\nil,1\npr,1350\nvt,0\nwa,1350\nrp,1500"},
                           {"trpayment", "ty,0\nwa,1148"}};
    const Steps deposit = {
        {"trinit", "bm,1"}, {"trline", kLine}, {"trpack", "pr,100"}, {"trpayment", "ty,0\nwa,350"}};
    Steps footer = paid;
    footer.emplace_back("trend", "to,350\nfp,350\nfe,0");
    Steps fullFooter = footer;
    fullFooter.insert(fullFooter.end(), 60, {"trftrln", "id,25\nna,x"});
    const Steps big = {{"dailyrep", "da,2024-03-07"},
                       {"trinit", "bm,1"},
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
        {open, "trline", std::string(kLine) + "\nrw,350", 1985},
        {open, "trline", std::string(kLine) + "\nrw,0", 1984},
        {open, "trline", std::string(kLine) + "\nrp,10000", 2601},
        {open, "trline", std::string(kLine) + "\nrp,1000\nrw,36", 2801},
        {open, "trline", std::string(kLine) + "\nrp,1000\nrw,35", 0},
        {open, "trline", "na,A\nil,1\npr,9999999999\nvt,0\nwa,9999999999\nrd,0\nrw,1", 1981},
        {open, "trline", "na,A\nil,1\npr,9999999998\nvt,0\nwa,9999999998\nrd,0\nrw,1", 0},
        {open, "trline", std::string(kLine) + "\nop," + std::string(51, 'x'), 10},
        {open, "trline", std::string(kLine) + "\nrn," + std::string(26, 'x'), 10},
        {percent, "trend", "to,1147\nfp,1148", 2805},
        {open, "trdiscntbill", "rp,1000", 1983},
        {lined, "trdiscntbill", "na,Rabat", 2600},
        {lined, "trdiscntbill", "rw,350", 1985},
        {paid, "trdiscntbill", "rw,10", 1991},
        {open, "discounttypeset", "dt,1", 2038},
        {lined, "trpayment", "ty,0\nwa,0", 1962},
        {lined, "trpayment", "ty,0\nwa,350\nna," + std::string(26, 'x'), 10},
        {paid, "trpayment", "ty,2\nwa,10", 1953},
        {paid, "trpayment", "ty,0\nwa,1\nre,1", 2094},
        {over, "trpayment", "ty,2\nwa,1\nre,1", 2094},
        {over, "trpayment", "ty,0\nwa,51\nre,1", 1961},
        {over, "trpayment", "ty,0\nwa,50\nre,1", 0},
        {over, "trend", "to,350\nfp,400\nre,10", 2809},
        {paid, "trend", "to,350\nfp,350\nop,1", 2806},
        {paid, "trend", "to,350\nfp,350\nom,1", 2807},
        {deposit, "trend", "to,350\nfp,350", 2054},
        {{}, "trpack", "pr,50", 2005},
        {open, "trpack", "pr,50\nil,1.5", 2001},
        {open, "trpack", "pr,50\nil,0", 2007},
        {open, "trpack", "pr,0", 1958},
        {open, "trpack", "pr,1\nil,9999999999", 0},
        {open, "trpack", "pr,2\nil,5000000000", 1958},
        {open, "trpack", "pr,50\nil,2\nwa,99", 2803},
        {open, "trpack", "pr,50\nst,1", 2853},
        {open, "trpack", "na,12a\npr,50", 3},
        {open, "trpack", "na,123456789012\npr,50", 10},
        {{}, "trftrln", "id,25\nna,x", 2064},
        {{}, "trftrend", "", 2064},
        {paid, "trftrln", "id,25\nna,x", 2066},
        {paid, "trftrend", "", 2066},
        {footer, "trftrln", "id,43\nna,x", 2702},
        {footer, "trftrln", "id,42\nna,x", 0},
        {footer, "trftrln", "id,25", 2056},
        {footer, "trftrln", "id,25\nna," + std::string(41, 'x'), 10},
        {fullFooter, "trftrln", "id,25\nna,x", 2703},
        {footer, "trline", kLine, 2060},
        {footer, "trinit", "bm,1", 2038},
        {footer, "cash", "kw,100\nwp,1", 2038},
        {open, "cash", "kw,100\nwp,1", 2038},
        {{}, "cash", "kw,100", 2},
        {{}, "cash", "kw,500000000000\nwp,1", 3},
        {{}, "cash", "kw,499999999999\nwp,0", 0},
        // The day's totals are full from here on.
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
        EXPECT_EQ(values("strns") + " " + values("scnt") + " " + values("stot"), row.expected)
            << row.command;
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

// The query's answer after each step.
TEST_F(PrinterRules, AnswersItsIdentityTillAndDrawer) {
    const struct {
        std::string command, parameters, query, expected;
    } cases[] = {
        {"sid", "", "sid", "nmVirtual Posnet vr1.00"},
        {"sid", "", "getrealid", "nmVirtual Posnet vr1.00 nuVPN00000001"},
        {"sid", "", "sdrwr", "ds2 ks2"},
        {"sid", "", "scomm", "fs1 tz1 ts0 hr1 nuVPN00000001 td0"},
        {"discounttypeset", "dt,1", "discounttypeget", "dt1"},
        {"cash", "kw,10000\nwp,1", "scashstate", "cs10000"},
        {"cash", "kw,2550\nwp,0", "scashstate", "cs7450"},
        {"trinit", "bm,0", "scomm", "fs1 tz1 ts16 hr1 nuVPN00000001 td0"},
        {"trline", kLine, "scashstate", "cs7450"},
        {"trpayment", "ty,2\nwa,100", "scashstate", "cs7450"},
        {"trpayment", "ty,0\nwa,500", "scashstate", "cs7450"},
        {"trend", "to,350\nfp,600", "scashstate", "cs7700"},
        {"opendrwr", "", "scomm", "fs1 tz0 ts0 hr1 nuVPN00000001 td0"},
        {"cash", "kw,499999999999\nwp,1", "scashstate", "cs7700"},
        {"cash", "kw,9000\nwp,0", "scashstate", "cs0"},
    };
    for (const auto& row : cases) {
        ASSERT_EQ(status(row.command, row.parameters), 0) << row.command;
        EXPECT_EQ(values(row.query), row.expected) << row.command << " " << row.query;
    }
    const std::string journal = printer_.journal();
    EXPECT_TRUE(contains(journal, "\nAMOUNT 100.00\nEND CASH IN\n\nCASH OUT 2024-03-07 "))
        << journal;
    EXPECT_TRUE(contains(journal, "\nAMOUNT 25.50\nEND CASH OUT\n\nRECEIPT")) << journal;
    EXPECT_TRUE(contains(journal, "END RECEIPT\n\nDRAWER OPENED 2024-03-07 ")) << journal;
    EXPECT_EQ(client_.run("!sdrwr").status, 0);
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
