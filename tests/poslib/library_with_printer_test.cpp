// The open printer library against the virtual printer, over a pseudo-terminal and over TCP.
#include "poslib/library_error.h"
#include "support/posnet_client.h"
#include "support/virtual_printer_process.h"

#include <cstring>
#include <gtest/gtest.h>
#include <set>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>

using poslib::BrokenAnswerFrame;
using poslib::ControlByteInValue;
using poslib::InvalidArgument;
using poslib::InvalidHandle;
using poslib::LineLost;
using poslib::NoMoreValues;
using poslib::UnexpectedAnswer;
using Line = VirtualPrinterProcess::Line;
constexpr uint32_t tokenCount = 10000;

void PrintTo(Line line, std::ostream* out) {
    *out << (line == Line::Tcp ? "TCP" : "pseudo-terminal");
}

namespace {

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class LibraryWithPrinter : public ::testing::TestWithParam<Line> {};

} // namespace

TEST_P(LibraryWithPrinter, FindsAReadyPrinter) {
    VirtualPrinterProcess printer({}, GetParam());
    PosnetClient client(printer.port());
    ASSERT_TRUE(client.opened());
    int32_t global = -7;
    int32_t mechanism = -7;
    EXPECT_EQ(POS_GetPrnDeviceStatus(client.device(), 1, &global, &mechanism), 0);
    EXPECT_EQ(global, 0);
    EXPECT_EQ(mechanism, 0);
}

TEST_P(LibraryWithPrinter, PrintsAWholeReceipt) {
    VirtualPrinterProcess printer({}, GetParam());
    PosnetClient client(printer.port());
    EXPECT_EQ(client.run("trinit", "bm,1").status, 0);
    EXPECT_EQ(client.run("trnipset", "ni,5260250274").status, 0);
    EXPECT_EQ(
        client.run("trline", "na,Chleb \xBFytni\njm,szt\nil,2.00\npr,350\nvt,0\nwa,700").status, 0);
    EXPECT_EQ(client.run("trline", "na,Mleko\njm,l\nil,1.0050\npr,299\nvt,1\nwa,300").status, 0);
    EXPECT_EQ(client.run("trpayment", "ty,2\nwa,1000").status, 0);
    const CommandOutcome end = client.run("trend", "fp,1000\nto,1000");
    EXPECT_EQ(end.post, 0);
    EXPECT_EQ(end.wait, 0);
    EXPECT_EQ(end.status, 0);

    const std::string journal = printer.journal();
    EXPECT_TRUE(contains(journal, "BUYER NIP 5260250274\n")) << journal;
    EXPECT_TRUE(contains(journal, "LINE Chleb \xC5\xBCytni | 2.00 szt x 3.50 | 7.00 A\n"))
        << journal;
    EXPECT_TRUE(contains(journal, "LINE Mleko | 1.0050 l x 2.99 | 3.00 B\n")) << journal;
    EXPECT_TRUE(contains(journal, "PAYMENT card 10.00\nTOTAL 10.00\nEND RECEIPT\n")) << journal;
}

TEST_P(LibraryWithPrinter, ReportsARefusedLineWithThePrintersNumber) {
    VirtualPrinterProcess printer({}, GetParam());
    PosnetClient client(printer.port());
    client.run("trinit", "bm,1");
    const CommandOutcome line = client.run("trline", "na,Woda\nil,1\npr,100\nvt,5\nwa,100");
    EXPECT_EQ(line.wait, 0);
    EXPECT_EQ(line.status, 2000);
    EXPECT_NE(POS_GetErrorString(line.status, "pl"), nullptr);
    EXPECT_EQ(client.run("prncancel").status, 0);
    EXPECT_TRUE(contains(printer.journal(), "CANCELLED RECEIPT")) << printer.journal();
}

TEST_P(LibraryWithPrinter, ReportsARefusalOnCue) {
    VirtualPrinterProcess printer({"--refuse", "trline:2:2006"}, GetParam());
    PosnetClient client(printer.port());
    client.run("trinit", "bm,1");
    EXPECT_EQ(client.run("trline", "na,A\nil,1\npr,100\nvt,0\nwa,100").status, 0);
    EXPECT_EQ(client.run("trline", "na,B\nil,1\npr,100\nvt,0\nwa,100").status, 2006);
    EXPECT_EQ(client.run("trline", "na,C\nil,1\npr,100\nvt,0\nwa,100").status, 0);
}

TEST_P(LibraryWithPrinter, ReadsTheVatRatesInOrder) {
    VirtualPrinterProcess printer({"--vat", "23,8,5,0,100,101,7.5"}, GetParam());
    PosnetClient client(printer.port());
    const CommandOutcome rates = client.run("vatget");
    EXPECT_EQ(rates.status, 0);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"va", "23,00"},  {"vb", "8,00"},   {"vc", "5,00"}, {"vd", "0,00"},
        {"ve", "100,00"}, {"vf", "101,00"}, {"vg", "7,50"}};
    EXPECT_EQ(rates.values, expected);
}

TEST_P(LibraryWithPrinter, PopsValuesWithinTheCallersBuffers) {
    VirtualPrinterProcess printer({}, GetParam());
    PosnetClient client(printer.port());
    const POSNET_HANDLE request = POS_CreateRequest(client.device(), "sid");
    ASSERT_EQ(POS_PostRequest(request, 0), 0);
    ASSERT_EQ(POS_WaitForRequestCompleted(request, 5000), 0);
    EXPECT_EQ(POS_GetResponseValueCount(request), 2u);
    char name[17];
    char value[6];
    std::memset(name, '#', sizeof name);
    std::memset(value, '#', sizeof value);
    // A buffer missing, or one without room for the closing zero, is refused before anything
    // is written, and the value stays to be popped.
    const std::tuple<char*, char*, uint32_t> unusable[] = {
        {nullptr, value, 5}, {name, nullptr, 5}, {name, value, 0}};
    for (const auto& [names, values, length] : unusable) {
        EXPECT_EQ(POS_PopResponseValue(request, names, values, length), InvalidArgument);
    }
    EXPECT_EQ(POS_GetResponseValueCount(request), 2u);
    ASSERT_EQ(POS_PopResponseValue(request, name, value, 5), 0);
    EXPECT_STREQ(name, "nm");
    EXPECT_STREQ(value, "Virt");
    EXPECT_EQ(value[5], '#');
    EXPECT_EQ(name[16], '#');
    EXPECT_EQ(POS_GetResponseValueCount(request), 1u);
    ASSERT_EQ(POS_PopResponseValue(request, name, value, sizeof value), 0);
    EXPECT_EQ(POS_PopResponseValue(request, name, value, sizeof value), NoMoreValues);
    EXPECT_EQ(POS_DestroyRequest(request), 0);
}

TEST_P(LibraryWithPrinter, GivesLineLostWhenThePrinterFallsSilent) {
    // The two status questions of the connection are answered, nothing after them.
    VirtualPrinterProcess printer({"--silent-after", "2"}, GetParam());
    PosnetClient client(printer.port());
    int32_t global = -1;
    int32_t mechanism = -1;
    ASSERT_EQ(POS_GetPrnDeviceStatus(client.device(), 1, &global, &mechanism), 0);
    const CommandOutcome silent = client.run("trinit", "bm,1", 200);
    EXPECT_EQ(silent.post, 0);
    EXPECT_EQ(silent.wait, LineLost);
    EXPECT_EQ(POS_GetError(client.device()), 0);
    // The line stays lost: a late answer must not be taken for the next command's.
    EXPECT_EQ(client.run("vatget").post, LineLost);
}

TEST_P(LibraryWithPrinter, GivesLineLostWhenThePrinterIsSwitchedOff) {
    VirtualPrinterProcess printer({}, GetParam());
    PosnetClient client(printer.port());
    ASSERT_EQ(client.run("sid").status, 0);
    printer.stop();
    const CommandOutcome after = client.run("sid");
    EXPECT_EQ(after.post == 0 ? after.wait : after.post, LineLost);
}

TEST_P(LibraryWithPrinter, EndsTheWaitAtTheLimitWhileThePrinterChatters) {
    VirtualPrinterProcess printer({"--chatter-after", "0"}, GetParam());
    PosnetClient client(printer.port());
    ASSERT_TRUE(client.opened());
    EXPECT_EQ(client.run("sid", "", 200).wait, LineLost);
}

TEST_P(LibraryWithPrinter, NeverTakesALateAnswerForALaterCommand) {
    // Every answer comes a second late: the first command is given up on, and its answer
    // arrives while the next one, on the line opened again, waits for its own.
    VirtualPrinterProcess printer({"--delay", "1000"}, GetParam());
    PosnetClient client(printer.port());
    EXPECT_EQ(client.run("vatget", "", 100).wait, LineLost);
    client.close();
    ASSERT_TRUE(client.open());
    const CommandOutcome sid = client.run("sid", "", 20000);
    EXPECT_EQ(sid.status, 0);
    ASSERT_EQ(sid.values.size(), 2u);
    EXPECT_EQ(sid.values[0].first, "nm");
}

TEST_P(LibraryWithPrinter, ReportsAMechanismFaultAsNotReady) {
    VirtualPrinterProcess printer({"--mechanism-status", "1"}, GetParam());
    PosnetClient client(printer.port());
    int32_t global = 0;
    int32_t mechanism = 0;
    EXPECT_EQ(POS_GetPrnDeviceStatus(client.device(), 1, &global, &mechanism), 0);
    EXPECT_NE(global, 0);
    EXPECT_EQ(mechanism, 1);
}

TEST_P(LibraryWithPrinter, ReportsABusyDeviceAsNotReady) {
    VirtualPrinterProcess printer({"--device-status", "2"}, GetParam());
    PosnetClient client(printer.port());
    int32_t global = 0;
    int32_t mechanism = -1;
    EXPECT_EQ(POS_GetPrnDeviceStatus(client.device(), 1, &global, &mechanism), 0);
    EXPECT_NE(global, 0);
    EXPECT_EQ(mechanism, 0);
}

TEST_P(LibraryWithPrinter, ClosesAndReopens) {
    VirtualPrinterProcess printer({}, GetParam());
    PosnetClient client(printer.port());
    const POSNET_HANDLE leftOver = POS_CreateRequest(client.device(), "sid");
    ASSERT_NE(leftOver, 0u);
    client.close();
    EXPECT_EQ(POS_DestroyRequest(leftOver), InvalidHandle);
    ASSERT_TRUE(client.open());
    EXPECT_EQ(client.run("vatget").values.size(), 7u);
    client.close();
    ASSERT_TRUE(client.open());
    EXPECT_EQ(client.run("sid").status, 0);
}

TEST_P(LibraryWithPrinter, RefusesAControlByteWithoutSendingAnything) {
    VirtualPrinterProcess printer({}, GetParam());
    PosnetClient client(printer.port());
    client.run("trinit", "bm,1");
    const CommandOutcome injected =
        client.run("trline", "na,Woda\twa1\nil,1\npr,100\nvt,0\nwa,100");
    EXPECT_EQ(injected.request, 0u);
    EXPECT_EQ(POS_GetError(client.device()), ControlByteInValue);
    // Nothing reached the printer: the next answers still belong to their commands.
    EXPECT_EQ(client.run("trline", "na,Woda\nil,1\npr,100\nvt,0\nwa,100").status, 0);
    EXPECT_EQ(client.run("trpayment", "ty,0\nwa,100").status, 0);
    EXPECT_EQ(client.run("trend", "fp,100\nto,100").status, 0);
    EXPECT_TRUE(contains(printer.journal(), "LINE Woda | 1 x 1.00 | 1.00 A\n"))
        << printer.journal();
}

TEST_P(LibraryWithPrinter, MatchesAnswersToRequestsPostedTogether) {
    VirtualPrinterProcess printer({}, GetParam());
    PosnetClient client(printer.port());
    const std::vector<std::pair<const char*, const char*>> commands = {
        {"trinit", "bm,1"},
        {"trline", "na,A\nil,1\npr,100\nvt,6\nwa,100"},
        {"trline", "na,B\nil,1\npr,100\nvt,0\nwa,100"},
        {"vatget", ""}};
    std::vector<POSNET_HANDLE> requests;
    for (const auto& [command, parameters] : commands) {
        requests.push_back(POS_CreateRequestEx(client.device(), command, parameters));
        ASSERT_EQ(POS_PostRequest(requests.back(), 0), 0);
    }
    ASSERT_EQ(POS_WaitForRequestCompleted(requests.back(), 5000), 0);
    EXPECT_EQ(POS_WaitForRequestCompleted(requests[0], 0), 0);
    EXPECT_EQ(POS_GetRequestStatus(requests[0]), 0);
    EXPECT_EQ(POS_GetRequestStatus(requests[1]), 2000);
    EXPECT_EQ(POS_GetRequestStatus(requests[2]), 0);
    EXPECT_EQ(POS_GetResponseValueCount(requests[3]), 7u);
    for (POSNET_HANDLE request : requests) {
        EXPECT_EQ(POS_DestroyRequest(request), 0);
    }
}

// A damaged answer reaches only the command whose token it shows, else the line counts as
// lost; "rpt" gives the stored answer only under the name of the command asked about.
TEST_P(LibraryWithPrinter, TakesADamagedOrRepeatedAnswerOnlyForTheCommandItNames) {
    VirtualPrinterProcess printer({"--damage-answer", "vatget:1", "--damage-answer", "vatget:2"},
                                  GetParam());
    PosnetClient client(printer.port());
    // The answer to "sid" echoes its token: later frames carry none unless asked to.
    EXPECT_EQ(client.run("sid").status, 0);
    EXPECT_EQ(client.run("vatget").wait, LineLost);
    client.close();
    ASSERT_TRUE(client.open());
    const POSNET_HANDLE vatget = POS_CreateRequest(client.device(), "vatget");
    uint32_t token = 0;
    ASSERT_EQ(POS_GetRequestToken(vatget, &token), 0);
    ASSERT_EQ(POS_PostRequest(vatget, 0), 0);
    EXPECT_EQ(POS_WaitForRequestCompleted(vatget, 5000), 0);
    EXPECT_EQ(POS_GetRequestStatus(vatget), BrokenAnswerFrame);
    EXPECT_EQ(POS_DestroyRequest(vatget), 0);
    for (const auto& [command, status] :
         {std::pair<const char*, POSNET_STATUS>{"trend", UnexpectedAnswer}, {"vatget", 0}}) {
        const POSNET_HANDLE repeat = POS_CreateRepeatRequest(client.device(), token, command);
        ASSERT_EQ(POS_PostRequest(repeat, 0), 0);
        EXPECT_EQ(POS_WaitForRequestCompleted(repeat, 5000), 0);
        EXPECT_EQ(POS_GetRequestStatus(repeat), status) << command;
        EXPECT_EQ(POS_GetResponseValueCount(repeat), status == 0 ? 7u : 0u);
        EXPECT_EQ(POS_DestroyRequest(repeat), 0);
    }
}

// A program started again, or another workstation on the same printer, must not reuse the
// tokens whose answers the printer still keeps: each run starts at a token of its own.
TEST(LibraryRuns, StartAtTokensOfTheirOwn) {
    VirtualPrinterProcess printer({}, Line::Tcp);
    std::set<uint32_t> firstTokens;
    for (int run = 0; run < 3; ++run) {
        int channel[2];
        ASSERT_EQ(::pipe(channel), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            PosnetClient client(printer.port());
            uint32_t token = tokenCount;
            POS_GetRequestToken(POS_CreateRequest(client.device(), "sid"), &token);
            ::_exit(::write(channel[1], &token, sizeof token) == sizeof token ? 0 : 1);
        }
        ::close(channel[1]);
        uint32_t token = tokenCount;
        EXPECT_EQ(::read(channel[0], &token, sizeof token), ssize_t(sizeof token));
        ::close(channel[0]);
        ::waitpid(child, nullptr, 0);
        firstTokens.insert(token);
    }
    EXPECT_GT(firstTokens.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Lines, LibraryWithPrinter,
                         ::testing::Values(Line::PseudoTerminal, Line::Tcp),
                         [](const ::testing::TestParamInfo<Line>& info) {
                             return info.param == Line::Tcp ? "Tcp" : "PseudoTerminal";
                         });

TEST(LibraryWithSilentPrinter, ReportsNotReadyWhenTheStatusQuestionGoesUnanswered) {
    VirtualPrinterProcess printer({"--silent-after", "0"});
    PosnetClient client(printer.port());
    ASSERT_TRUE(client.opened());
    int32_t global = 0;
    int32_t mechanism = 0;
    EXPECT_EQ(POS_GetPrnDeviceStatus(client.device(), 1, &global, &mechanism), LineLost);
    EXPECT_NE(global, 0);
}

TEST(LibraryWithSlowPrinter, WaitsForALateAnswerWithinTheLimit) {
    VirtualPrinterProcess printer({"--delay", "300"});
    PosnetClient client(printer.port());
    EXPECT_EQ(client.run("sid", "", 20000).status, 0);
}

TEST(LibraryWithSlowPrinter, GivesLineLostWhenTheAnswerComesAfterTheLimit) {
    VirtualPrinterProcess printer({"--delay", "3000"});
    PosnetClient client(printer.port());
    EXPECT_EQ(client.run("sid", "", 100).wait, LineLost);
}
