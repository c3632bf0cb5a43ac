#include "support/posnet_client.h"
#include "support/virtual_printer_process.h"
#include "tools/virtual-printer/journal.h"

#include <gtest/gtest.h>

using virtual_printer::windows1250ToUtf8;

TEST(JournalText, ConvertsPolishLettersFromWindows1250) {
    EXPECT_EQ(windows1250ToUtf8(
                  "\xA5\xC6\xCA\xA3\xD1\xD3\x8C\x8F\xAF \xB9\xE6\xEA\xB3\xF1\xF3\x9C\x9F\xBF"),
              "ĄĆĘŁŃÓŚŹŻ ąćęłńóśźż");
}

TEST(JournalText, MarksBytesWithoutACharacter) {
    EXPECT_EQ(windows1250ToUtf8("a\x81z"), "a\xEF\xBF\xBDz");
}

// Each sale on a fresh printer; the journal's text after the receipt's first line.
TEST(JournalText, ShowsWhatEachSalePrinted) {
    using Steps = std::vector<std::pair<std::string, std::string>>;
    const struct {
        std::string method; // discounttypeset's dt
        Steps steps;
        std::string printed;
    } cases[] = {
        {"dt,0",
         {{"trline", "na,Ser\nil,1\npr,1350\nvt,0\nwa,1350\nrp,1500"},
          {"trpayment", "ty,0\nwa,1148"},
          {"trend", "to,1148\nfp,1148"}},
         "LINE Ser | 1 x 13.50 | 13.50 A\nDISCOUNT 15,00% -2.02 | 11.48 A\nPAYMENT cash 11.48\n"
         "TOTAL 11.48\nEND RECEIPT\n"},
        {"dt,1",
         {{"trline", "na,Ser\nil,1\npr,1350\nvt,0\nwa,1350\nrp,1500"},
          {"trpayment", "ty,0\nwa,1147"},
          {"trend", "to,1147\nfp,1147"}},
         "DISCOUNT 15,00% -2.03 | 11.47 A\nPAYMENT cash 11.47\nTOTAL 11.47\n"},
        {"dt,0",
         {{"trline", "na,Ser\nil,1\npr,1350\nvt,0\nwa,1350\nrw,150\nrn,Promocja\nop,Gouda"},
          {"trpayment", "ty,0\nwa,1200"},
          {"trend", "to,1200\nfp,1200"}},
         "DISCOUNT Promocja -1.50 | 12.00 A\nDESCRIPTION Gouda\nPAYMENT cash 12.00\n"},
        {"dt,0",
         {{"trline", "na,Ser\nil,1\npr,1350\nvt,0\nwa,1350\nrd,0\nrp,1000"},
          {"trpayment", "ty,0\nwa,1485"},
          {"trend", "to,1485\nfp,1485"}},
         "MARKUP 10,00% +1.35 | 14.85 A\nPAYMENT cash 14.85\n"},
        {"dt,1",
         {{"trline", "na,Ser\nil,1\npr,1350\nvt,0\nwa,1350\nrd,0\nrp,1000\nrw,135\nrn,Lato"},
          {"trpayment", "ty,0\nwa,1485"},
          {"trend", "to,1485\nfp,1485"}},
         "MARKUP Lato 10,00% +1.35 | 14.85 A\nPAYMENT cash 14.85\n"},
        {"dt,0",
         {{"trline", "na,Ser\nil,1\npr,1350\nvt,0\nwa,1350\nrn,Lato"},
          {"trpayment", "ty,0\nwa,1350"},
          {"trend", "to,1350\nfp,1350"}},
         "13.50 A\nDESCRIPTION discount: Lato\nPAYMENT"},
        {"dt,0",
         {{"trline", "na,A\nil,1\npr,1000\nvt,0\nwa,1000"},
          {"trline", "na,B\nil,1\npr,500\nvt,1\nwa,500"},
          {"trdiscntbill", "rw,100"},
          {"trpayment", "ty,0\nwa,1400"},
          {"trend", "to,1400\nfp,1400"},
          {"dailyrep", "da,2024-03-07"}},
         "TOTAL A 23,00 9.34\nTOTAL B 8,00 4.66\n"},
        {"dt,0",
         {{"trline", "na,Woda\nil,1\npr,7000\nvt,0\nwa,7000"},
          {"trdiscntbill", "rp,1000\nna,Rabat"},
          {"trpayment", "ty,2\nwa,5000"},
          {"trpayment", "ty,0\nwa,3000"},
          {"trend", "to,6300\nfp,8000"}},
         "RECEIPT DISCOUNT Rabat 10,00% -7.00 | 63.00\nPAYMENT card 50.00\nPAYMENT cash 30.00\n"
         "CHANGE cash 17.00\nTOTAL 63.00\n"},
        {"dt,0",
         {{"trline", "na,Woda\nil,1\npr,200\nvt,0\nwa,200"},
          {"trpayment", "ty,2\nwa,500\nna,Visa"},
          {"trpayment", "ty,0\nwa,300\nre,1"},
          {"trend", "to,200\nre,300\nfp,500"}},
         "PAYMENT card Visa 5.00\nCHANGE cash 3.00\nTOTAL 2.00\nEND RECEIPT\n"},
        {"dt,0",
         {{"trline", "na,Woda\nil,1\npr,200\nvt,0\nwa,200"},
          {"trpack", "na,1\npr,50\nil,6\nwa,300\nde,Butelka PET"},
          {"trpack", "na,1\npr,50\nil,1\nst,1"},
          {"trpack", "pr,50\nil,2\nne,1"},
          {"trpayment", "ty,0\nwa,350"},
          {"trend", "to,200\nop,250\nom,100\nfp,350"}},
         "DEPOSIT TAKEN 1 Butelka PET | 5 x 0.50 | 2.50\nDEPOSIT RETURNED | 2 x 0.50 | 1.00\n"
         "PAYMENT cash 3.50\nTOTAL 2.00\nDEPOSITS TAKEN 2.50\nDEPOSITS RETURNED 1.00\n"
         "TO PAY 3.50\nEND RECEIPT\n"},
        {"dt,0",
         {{"trline", "na,Woda\nil,1\npr,100\nvt,0\nwa,100"},
          {"trpack", "pr,50\nil,3\nne,1"},
          {"trend", "to,100\nom,150"}},
         "TOTAL 1.00\nDEPOSITS TAKEN 0.00\nDEPOSITS RETURNED 1.50\nTO PAY -0.50\nEND RECEIPT\n"},
        {"dt,0",
         {{"trline", "na,Woda\nil,1\npr,100\nvt,0\nwa,100"},
          {"trpayment", "ty,0\nwa,100"},
          {"trend", "to,100\nfp,100\nfe,0"},
          {"trftrln", "id,13\nna,ZAM/2026/0042\nsw,1"},
          {"trftrln", "id,25\nna,Dzi\xEAkujemy"},
          {"trftrln", "id,2\nna,987"},
          {"trftrend", ""}},
         "TOTAL 1.00\nFOOTER ORDER NO. ZAM/2026/0042\nFOOTER Dziękujemy\nFOOTER #2 987\n"
         "END RECEIPT\n"},
    };
    for (const auto& row : cases) {
        VirtualPrinterProcess printer({"--date", "2024-03-07"});
        PosnetClient client(printer.port());
        ASSERT_EQ(client.run("discounttypeset", row.method).status, 0);
        ASSERT_EQ(client.run("trinit", "bm,1").status, 0);
        for (const auto& [command, parameters] : row.steps) {
            ASSERT_EQ(client.run(command, parameters).status, 0) << command << " " << parameters;
        }
        EXPECT_NE(printer.journal().find(row.printed), std::string::npos)
            << printer.journal() << "\nmissing:\n"
            << row.printed;
    }
}
