// The printer's conversation with the printer library in the cases only a scripted library
// can produce: failures at a chosen call, missing error texts, a lost line.
#include "posnet/printer.h"
#include "scripted_posnet_library.h"
#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>

namespace {

using Calls = std::vector<std::string>;
using Library = ScriptedPosnetLibrary;
// What the printer announced: true for a connection opened, false for one closed.
using States = std::vector<bool>;
const bool opened = true;
const bool closed = false;
const std::string comSettings = std::to_string(POSNET_DEV_PARAM_COMSETTINGS);
const std::string queueLength = std::to_string(POSNET_DEV_PARAM_OUTQUEUELENGTH);
const std::string handle = std::to_string(Library::deviceHandle);
const std::string device = std::to_string(Library::device);
const std::string request = std::to_string(Library::request);

class PrinterTest : public ::testing::Test {
protected:
    void SetUp() override {
        printer = std::make_unique<Printer>(library);
        printer->connectionChanged.connect([this](bool open) { states.push_back(open); });
    }

    void connectAndForget() {
        ASSERT_TRUE(printer->connect("COM3"));
        library.reset();
        states.clear();
    }

    template <typename Action> PosnetError posnetFailure(Action action) {
        try {
            action();
        } catch (const PosnetError& exception) {
            return exception;
        }
        ADD_FAILURE() << "no PosnetError";
        return PosnetError(0, "", "");
    }

    // Before the printer: its destructor still closes the connection and announces it.
    Library library;
    States states;
    std::unique_ptr<Printer> printer;
};

TEST_F(PrinterTest, ConnectOpensTheDeviceWithTheLineSettingsAndAnnouncesIt) {
    EXPECT_TRUE(printer->connect("COM3"));

    const std::vector<Library::Call>& calls = library.calls();
    ASSERT_EQ(library.callNames(),
              (Calls{"POS_CreateDeviceHandle", "POS_SetDeviceParam", "POS_OpenDevice",
                     "POS_SetDeviceParam", "POS_GetPrnDeviceStatus"}));
    EXPECT_EQ(calls[0].arguments, (Calls{"1"}));
    EXPECT_EQ(calls[1].arguments, (Calls{handle, comSettings, "COM3,9600,8,N,1,H"}));
    EXPECT_EQ(calls[2].arguments, (Calls{handle}));
    EXPECT_EQ(calls[3].arguments, (Calls{handle, queueLength, "5"}));
    EXPECT_EQ(calls[4].arguments, (Calls{device, "1"}));
    EXPECT_TRUE(printer->connected());
    EXPECT_EQ(states, (States{opened}));
}

TEST_F(PrinterTest, HandleCreationFailingAnswersFalseWithoutOpening) {
    library.forceResult("POS_CreateDeviceHandle", 1, 0);

    EXPECT_FALSE(printer->connect("COM3"));

    EXPECT_EQ(library.callNames(), (Calls{"POS_CreateDeviceHandle"}));
    EXPECT_FALSE(printer->connected());
    EXPECT_TRUE(states.empty());
}

TEST_F(PrinterTest, OpenFailingThrowsTheLibraryCodeAndDestroysTheHandle) {
    library.forceResult("POS_OpenDevice", 1, 0);
    library.forceResult("POS_GetError", 1, 1234);
    library.setErrorText(1234, "Nie mo\xbf"
                               "na otworzy\xe6 portu");

    const PosnetError failure = posnetFailure([this] { printer->connect("COM9"); });

    EXPECT_EQ(failure.code, 1234);
    EXPECT_EQ(failure.text, "Nie można otworzyć portu");
    EXPECT_EQ(failure.call, "POS_OpenDevice()");
    const std::vector<Library::Call>& calls = library.calls();
    ASSERT_EQ(library.callNames(),
              (Calls{"POS_CreateDeviceHandle", "POS_SetDeviceParam", "POS_OpenDevice",
                     "POS_GetError", "POS_DestroyDeviceHandle", "POS_GetErrorString"}));
    EXPECT_EQ(calls[3].arguments, (Calls{handle}));
    EXPECT_EQ(calls[4].arguments, (Calls{handle}));
    EXPECT_EQ(calls[5].arguments, (Calls{"1234", "pl"}));
    EXPECT_FALSE(printer->connected());
    EXPECT_TRUE(states.empty());
}

TEST_F(PrinterTest, ErrorWithoutLibraryTextSaysSo) {
    library.forceResult("POS_OpenDevice", 1, 0);
    library.forceResult("POS_GetError", 1, 77);

    const PosnetError failure = posnetFailure([this] { printer->connect("COM9"); });

    EXPECT_EQ(failure.code, 77);
    EXPECT_EQ(failure.text, "(brak opisu)");
}

TEST_F(PrinterTest, DestroyingThePrinterClosesTheConnection) {
    connectAndForget();

    printer.reset();

    EXPECT_EQ(library.callNames(), (Calls{"POS_CloseDevice", "POS_DestroyDeviceHandle"}));
    EXPECT_EQ(states, (States{closed}));
}

TEST_F(PrinterTest, TransactionPostsWaitsChecksAndDestroysTheRequest) {
    connectAndForget();

    printer->runTransaction("trline", "na,Chleb\nvt,0");

    const std::vector<Library::Call>& calls = library.calls();
    ASSERT_EQ(library.callNames(),
              (Calls{"POS_CreateRequestEx", "POS_PostRequest", "POS_WaitForRequestCompleted",
                     "POS_GetRequestStatus", "POS_DestroyRequest"}));
    EXPECT_EQ(calls[0].arguments, (Calls{device, "trline", "na,Chleb\nvt,0"}));
    EXPECT_EQ(calls[1].arguments, (Calls{request, "0"}));
    EXPECT_EQ(calls[2].arguments, (Calls{request, "5000"}));
    EXPECT_EQ(calls[3].arguments, (Calls{request}));
    EXPECT_EQ(calls[4].arguments, (Calls{request}));
}

TEST_F(PrinterTest, RequestThatCannotBeCreatedReportsTheDeviceError) {
    connectAndForget();
    library.forceResult("POS_CreateRequestEx", 1, 0);
    library.forceResult("POS_GetError", 1, 3);

    const PosnetError failure = posnetFailure([this] { printer->runTransaction("sid", ""); });

    EXPECT_EQ(failure.code, 3);
    EXPECT_EQ(failure.call, "POS_CreateRequestEx()");
    EXPECT_EQ(library.calls()[1].function, "POS_GetError");
    EXPECT_EQ(library.calls()[1].arguments, (Calls{device}));
    EXPECT_TRUE(printer->connected());
}

struct FailingStep {
    const char* function;
};

void PrintTo(const FailingStep& step, std::ostream* out) {
    *out << step.function;
}

class FailingStepTest : public PrinterTest, public ::testing::WithParamInterface<FailingStep> {};

TEST_P(FailingStepTest, NamesTheCallAndGivesTheRequestBack) {
    connectAndForget();
    library.forceResult(GetParam().function, 1, 2000);

    const PosnetError failure =
        posnetFailure([this] { printer->runTransaction("trline", "na,Chleb"); });

    EXPECT_EQ(failure.code, 2000);
    EXPECT_EQ(failure.call.rfind(GetParam().function, 0), 0u) << failure.call;
    EXPECT_EQ(library.callNames().back(), "POS_GetErrorString");
    const Calls names = library.callNames();
    EXPECT_EQ(std::count(names.begin(), names.end(), "POS_DestroyRequest"), 1);
    EXPECT_TRUE(printer->connected());
    EXPECT_TRUE(states.empty());
}

INSTANTIATE_TEST_SUITE_P(EachStep, FailingStepTest,
                         ::testing::Values(FailingStep{"POS_PostRequest"},
                                           FailingStep{"POS_WaitForRequestCompleted"},
                                           FailingStep{"POS_GetRequestStatus"}),
                         [](const ::testing::TestParamInfo<FailingStep>& info) {
                             return std::string(info.param.function).substr(4);
                         });

TEST_F(PrinterTest, StatusFailureWithResponseNamesTheCall) {
    connectAndForget();
    library.forceResult("POS_GetRequestStatus", 1, 2000);

    const PosnetError failure =
        posnetFailure([this] { printer->runTransactionWithResponse("vatget", ""); });

    EXPECT_EQ(failure.call.rfind("POS_GetRequestStatus", 0), 0u) << failure.call;
}

TEST_F(PrinterTest, LostLineClosesTheConnectionBeforeTheErrorLeaves) {
    connectAndForget();
    library.forceResult("POS_WaitForRequestCompleted", 1, POSNET_STATUS_DISCONNECTED);

    const PosnetError failure = posnetFailure([this] { printer->runTransaction("sid", ""); });

    EXPECT_EQ(failure.code, 8);
    EXPECT_FALSE(printer->connected());
    EXPECT_EQ(states, (States{closed}));
    const Calls names = library.callNames();
    const auto destroyed = std::find(names.begin(), names.end(), "POS_DestroyRequest");
    const auto closed = std::find(names.begin(), names.end(), "POS_CloseDevice");
    ASSERT_NE(closed, names.end());
    EXPECT_LT(destroyed, closed);
}

TEST_F(PrinterTest, ResponseValuesAreCollectedAndALaterNameWins) {
    connectAndForget();
    library.setResponseValues({{"va", "23,00"}, {"vb", "8,00"}, {"va", "5,00"}});

    const PosnetResponse values = printer->runTransactionWithResponse("vatget", "");

    EXPECT_EQ(values, (PosnetResponse{{"va", "5,00"}, {"vb", "8,00"}}));
    EXPECT_EQ(library.callNames().back(), "POS_DestroyRequest");
}

Receipt oneLineReceipt() {
    ReceiptLine bread;
    bread.name = "Chleb";
    bread.price = 700;
    bread.value = 700;
    Receipt receipt;
    receipt.lines = {bread};
    receipt.payments = {{0, 700}};
    receipt.total = 700;
    return receipt;
}

// The cancellation runs while the line's failure is on its way: its own failure must not
// replace that one.
TEST_F(PrinterTest, FailedCancellationLetsTheOriginalErrorLeave) {
    connectAndForget();
    library.forceResult("POS_GetRequestStatus", 2, 2000); // trinit, behind scnt
    library.forceResult("POS_PostRequest", 5, 5);         // prncancel, behind the payment

    const PosnetError failure = posnetFailure([this] { printer->printReceipt(oneLineReceipt()); });

    EXPECT_EQ(failure.code, 2000);
    EXPECT_EQ(failure.call, "POS_GetRequestStatus");
    const std::vector<Library::Call>& calls = library.calls();
    ASSERT_GE(calls.size(), 4u);
    const std::vector<Library::Call> cancellation(calls.end() - 4, calls.end());
    EXPECT_EQ(cancellation[0].function, "POS_CreateRequest");
    EXPECT_EQ(cancellation[0].arguments, (Calls{device, "prncancel"}));
    EXPECT_EQ(cancellation[1].function, "POS_PostRequest");
    EXPECT_EQ(cancellation[1].arguments, (Calls{request, "0"}));
    EXPECT_EQ(cancellation[2].function, "POS_WaitForRequestCompleted");
    EXPECT_EQ(cancellation[2].arguments, (Calls{request, "5000"}));
    EXPECT_EQ(cancellation[3].function, "POS_DestroyRequest");
    EXPECT_TRUE(printer->connected());
}

// After the closing command's answer was lost, came damaged or under another name, the
// printer's stored answer to "dailyrep" tells what became of the report: a success, a refusal
// (a printer number up to 9999), or none (a frame error such as 13, or a library code).
TEST_F(PrinterTest, LostClosingAnswerIsSettledByThePrintersStoredAnswer) {
    struct Case {
        const char* call; // the call of "dailyrep" that fails
        POSNET_STATUS failure;
        POSNET_STATUS stored;
        const char* outcome;
    };
    const char* const wait = "POS_WaitForRequestCompleted";
    for (const Case& each :
         {Case{wait, POSNET_STATUS_DISCONNECTED, 0, "completed"},
          Case{wait, POSNET_STATUS_DISCONNECTED, 9999, "refused"},
          Case{wait, POSNET_STATUS_DISCONNECTED, 13, "unknown"},
          Case{wait, POSNET_STATUS_DISCONNECTED, 10007, "unknown"},
          Case{"POS_GetRequestStatus", POSNET_STATUS_BROKEN_ANSWER, 0, "completed"},
          Case{"POS_GetRequestStatus", POSNET_STATUS_UNEXPECTED_ANSWER, 16, "refused"},
          Case{"POS_GetRequestStatus", 2805, 0, "refused"}}) {
        SCOPED_TRACE(std::to_string(each.failure) + " " + std::to_string(each.stored));
        connectAndForget();
        library.forceResult(each.call, 1, each.failure);
        library.forceResult("POS_GetRequestStatus", each.call == wait ? 1 : 2, each.stored);
        std::string outcome = "completed";
        try {
            printer->dailyReport();
        } catch (const DocumentOutcomeUnknown&) {
            outcome = "unknown";
        } catch (const PosnetError& refusal) {
            EXPECT_EQ(refusal.code, each.failure);
            outcome = "refused";
        }
        EXPECT_EQ(outcome, each.outcome);
        EXPECT_EQ(std::count_if(library.calls().begin(), library.calls().end(),
                                [](const auto& call) {
                                    return call.function == "POS_CreateRepeatRequest" &&
                                           call.arguments.back() == "dailyrep";
                                }),
                  each.failure == 2805 ? 0 : 1);
    }
}

// What the printer's records say of a receipt whose closing answer was not seen: "stored" is
// the answer "rpt" gave under "trend", "since" the completed receipts counted since before
// "trinit" (-99: no counters).
TEST(ReceiptOutcome, NeedsEvidenceThatNamesTheReceipt) {
    using Stored = StoredAnswer;
    using Outcome = DocumentOutcome;
    const int64_t none = -99;
    struct Case {
        Stored stored;
        std::optional<bool> open;
        int64_t since;
        Outcome outcome;
    };
    const Case cases[] = {
        {Stored::Success, false, none, Outcome::Completed},
        {Stored::Success, false, 1, Outcome::Completed},
        {Stored::Success, false, 0, Outcome::Unknown},
        {Stored::Success, false, 2, Outcome::Unknown},
        {Stored::Success, true, 1, Outcome::Unknown},
        {Stored::Success, std::nullopt, 1, Outcome::Unknown},
        {Stored::Refusal, false, none, Outcome::NotCompleted},
        {Stored::Refusal, false, 0, Outcome::NotCompleted},
        {Stored::Refusal, false, 1, Outcome::Unknown},
        {Stored::None, false, none, Outcome::Unknown},
        {Stored::None, false, 0, Outcome::NotCompleted},
        {Stored::None, true, none, Outcome::NotCompleted},
        {Stored::None, true, 1, Outcome::Unknown},
        {Stored::None, false, 1, Outcome::Unknown},
        {Stored::None, std::nullopt, 0, Outcome::Unknown},
    };
    for (const Case& each : cases) {
        const ReceiptEvidence evidence{each.stored, each.open,
                                       each.since == none ? std::nullopt
                                                          : std::optional<int64_t>(each.since)};
        EXPECT_EQ(receiptOutcome(evidence), each.outcome)
            << static_cast<int>(each.stored) << " " << each.open.value_or(-1) << " " << each.since;
    }
}

// A receipt's "trend" answer lost, no stored answer, and "strns" tells no transaction state:
// the counters, which would say completed, are not asked.
TEST_F(PrinterTest, LostReceiptIsUnknownWhenTheTransactionStateIsNotZeroOrOne) {
    connectAndForget();
    library.setResponseValues({{"bn", "1"}, {"bc", "0"}, {"to", "2"}, {"bn", "2"}, {"bc", "0"}});
    library.forceResult("POS_PopResponseValue", 3, 1); // "scnt" before "trinit" ends
    library.forceResult("POS_PopResponseValue", 5, 1); // "strns" ends
    library.forceResult("POS_WaitForRequestCompleted", 5, POSNET_STATUS_DISCONNECTED); // trend
    library.forceResult("POS_GetRequestStatus", 5, 13);                                // rpt

    EXPECT_THROW(printer->printReceipt(oneLineReceipt()), DocumentOutcomeUnknown);
}

// The cash state comes in hundredths, as every amount, or as a decimal with a point or comma.
TEST_F(PrinterTest, CashStateIsReadInEveryFormAPrinterWrites) {
    const std::pair<const char*, int64_t> readable[] = {
        {"12345", 12345}, {"123.45", 12345}, {"123,4", 12340},
        {"123,", 12300},  {"0", 0},          {" 4 999 999 999,99", 499999999999},
    };
    for (const auto& [text, amount] : readable) {
        connectAndForget();
        library.setResponseValues({{"cs", text}});
        EXPECT_EQ(printer->cashState(), amount) << text;
    }
    for (const char* text : {"", "12.345", "1.2.3", "-5", "12a", "1234567890123456"}) {
        connectAndForget();
        library.setResponseValues({{"cs", text}});
        EXPECT_THROW(printer->cashState(), UnreadableAnswer) << text;
    }
}

// The fiscal mode is a Bool in any of the printer's spellings; a printer whose identity gives
// no unique number has it from "scomm".
TEST_F(PrinterTest, FiscalModeIsReadInEverySpellingOfABool) {
    const std::pair<const char*, bool> spellings[] = {
        {"1", true},  {"t", true},  {"T", true},  {"Y", true}, {"y", true},
        {"0", false}, {"n", false}, {"N", false}, {"", false},
    };
    for (const auto& [text, fiscal] : spellings) {
        connectAndForget();
        library.setResponseValues(
            {{"nm", "Thermal"}, {"vr", "30.01"}, {"fs", text}, {"nu", "AB1"}});
        library.forceResult("POS_PopResponseValue", 3, 1); // "getrealid" ends
        const PrinterInfo info = printer->info();
        EXPECT_EQ(info.fiscal, fiscal) << text;
        EXPECT_EQ(info.uniqueNumber, "AB1");
    }
}

// Rates come with a decimal comma; a rate the printer does not report stays 0.
TEST_F(PrinterTest, VatRatesReadTheLeadingNumberOfTheirOwnNamesOnly) {
    connectAndForget();
    library.setResponseValues(
        {{"va", "23,00"}, {"vb", "8,50"}, {"vd", " 7.25xyz"}, {"vh", "99,00"}, {"nm", "5"}});

    const VatRates rates = printer->vatRates();

    EXPECT_EQ(library.calls()[0].arguments, (Calls{device, "vatget", ""}));
    EXPECT_FLOAT_EQ(rates.va, 23);
    EXPECT_FLOAT_EQ(rates.vb, 8.5);
    EXPECT_FLOAT_EQ(rates.vd, 7.25);
    for (float absent : {rates.vc, rates.ve, rates.vf, rates.vg}) {
        EXPECT_EQ(absent, 0);
    }
}

// A rate the web application could not use is not passed on as a number.
TEST_F(PrinterTest, VatRateNotANumberOrOutsideZeroToHundredAndOneIsRefusedNamingIt) {
    for (const char* bad : {"brak", "", "1e60", "nan", "inf", "-5,00", "1e30", "101,50"}) {
        connectAndForget();
        library.setResponseValues({{"va", "23,00"}, {"vf", "101,00"}, {"vg", bad}});
        try {
            printer->vatRates();
            ADD_FAILURE() << bad << " accepted";
        } catch (const UnusableVatRate& refusal) {
            EXPECT_EQ(refusal.rate, "vg") << bad;
            EXPECT_EQ(refusal.received, bad);
        }
    }
}

} // namespace
