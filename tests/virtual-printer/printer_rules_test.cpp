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

TEST_F(PrinterRules, RefusesASaleOutsideAReceipt) {
    EXPECT_EQ(status("trline", kLine), 2005);
    EXPECT_EQ(status("trnipset", "ni,5260250274"), 2005);
    EXPECT_EQ(status("trpayment", "ty,0\nwa,350"), 2005);
    EXPECT_EQ(status("trend", "fp,350\nto,350"), 2005);
}

TEST_F(PrinterRules, RefusesASecondReceiptWhileOneIsOpen) {
    EXPECT_EQ(status("trinit", "bm,1"), 0);
    EXPECT_EQ(status("trinit", "bm,1"), 2005);
}

TEST_F(PrinterRules, RefusesInactiveAndUnknownVatRates) {
    status("trinit", "bm,1");
    EXPECT_EQ(status("trline", "na,A\nil,1\npr,100\nvt,5\nwa,100"), 2000);
    EXPECT_EQ(status("trline", "na,A\nil,1\npr,100\nvt,7\nwa,100"), 2000);
    EXPECT_EQ(status("trline", "na,A\nil,1\npr,100\nvt,4\nwa,100"), 0);
}

TEST_F(PrinterRules, RefusesAPriceOfZero) {
    status("trinit", "bm,1");
    EXPECT_EQ(status("trline", "na,A\nil,1\npr,0\nvt,0\nwa,0"), 2006);
}

TEST_F(PrinterRules, RefusesATotalOtherThanTheSumOfTheLines) {
    status("trinit", "bm,1");
    status("trline", kLine);
    status("trline", "na,Mleko\nil,2\npr,250\nvt,1\nwa,500");
    EXPECT_EQ(status("trend", "fp,849\nto,849"), 1950);
    EXPECT_EQ(status("trend", "fp,851\nto,851"), 1950);
    EXPECT_EQ(status("trend", "fp,800\nto,850"), 1950);
    EXPECT_EQ(status("trend", "fp,850\nto,850"), 0);
}

TEST_F(PrinterRules, RefusesToEndAReceiptWithoutLines) {
    status("trinit", "bm,1");
    EXPECT_EQ(status("trend", "fp,0\nto,0"), 1992);
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

TEST_F(PrinterRules, RefusesADailyReportDuringAReceipt) {
    status("trinit", "bm,1");
    EXPECT_EQ(status("dailyrep", "da,2024-03-07"), 2005);
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
    EXPECT_EQ(status("trline", "na,A\nil,0\npr,100\nvt,0\nwa,100"), 3);
    EXPECT_EQ(status("trline", "na,A\nil,1\nvt,0\nwa,100"), 2);
    EXPECT_EQ(status("trline", "na," + std::string(81, 'x') + "\nil,1\npr,100\nvt,0\nwa,100"), 10);
    EXPECT_EQ(status("trline", "na,A\njm,sztuk\nil,1\npr,100\nvt,0\nwa,100"), 10);
    EXPECT_EQ(status("trpayment", "ty,1\nwa,100"), 3);
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
    VirtualPrinterProcess printer({"--refuse", "sid:1:11", "--refuse", "vatget:2:1950"});
    PosnetClient client(printer.port());
    EXPECT_EQ(client.run("sid").status, 11);
    EXPECT_EQ(client.run("sid").status, 0);
    EXPECT_EQ(client.run("vatget").status, 0);
    EXPECT_EQ(client.run("vatget").status, 1950);
}
