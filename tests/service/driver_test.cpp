// The driver's conversation with the printer library in the cases only a scripted library
// can produce: failures at a chosen call, missing error texts, a lost line.
#include "fake_posnet.h"
#include "posnet/posnet_exception.h"
#include "service/fiscal_printer_base.h"
#include "service_test_support.h"
#include "support/test_certificate.h"
#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>

namespace {

using Calls = std::vector<std::string>;
using States = std::vector<FiscalPrinterBase::State>;
const std::string comSettings = std::to_string(POSNET_DEV_PARAM_COMSETTINGS);
const std::string queueLength = std::to_string(POSNET_DEV_PARAM_OUTQUEUELENGTH);
const std::string handle = std::to_string(fakeposnet::deviceHandle);
const std::string device = std::to_string(fakeposnet::device);
const std::string request = std::to_string(fakeposnet::request);

class DriverTest : public ::testing::Test {
protected:
    void SetUp() override {
        fakeposnet::reset();
        service = std::make_unique<FiscalPrinterBase>(testServerSettings());
        service->stateChanged.connect(
            [this](FiscalPrinterBase::State state) { states.push_back(state); });
    }

    void connectAndForget() {
        ASSERT_TRUE(service->connect("COM3"));
        fakeposnet::reset();
        states.clear();
    }

    template <typename Action> PosnetException posnetFailure(Action action) {
        try {
            action();
        } catch (const PosnetException& exception) {
            return exception;
        }
        ADD_FAILURE() << "no PosnetException";
        return PosnetException(0, "");
    }

    ServiceTestEnvironment environment;
    // Before the service: its destructor still announces the closing of the connection.
    States states;
    std::unique_ptr<FiscalPrinterBase> service;
};

TEST_F(DriverTest, ConnectOpensTheDeviceWithTheLineSettingsAndAnnouncesIt) {
    EXPECT_TRUE(service->connect("COM3"));

    const std::vector<fakeposnet::Call>& calls = fakeposnet::calls();
    ASSERT_EQ(fakeposnet::callNames(),
              (Calls{"POS_CreateDeviceHandle", "POS_SetDeviceParam", "POS_OpenDevice",
                     "POS_SetDeviceParam", "POS_GetPrnDeviceStatus"}));
    EXPECT_EQ(calls[0].arguments, (Calls{"1"}));
    EXPECT_EQ(calls[1].arguments, (Calls{handle, comSettings, "COM3,9600,8,N,1,H"}));
    EXPECT_EQ(calls[2].arguments, (Calls{handle}));
    EXPECT_EQ(calls[3].arguments, (Calls{handle, queueLength, "5"}));
    EXPECT_EQ(calls[4].arguments, (Calls{device, "1"}));
    EXPECT_TRUE(service->connected);
    EXPECT_EQ(states, (States{FiscalPrinterBase::Connected}));
}

TEST_F(DriverTest, HandleCreationFailingAnswersFalseWithoutOpening) {
    fakeposnet::forceResult("POS_CreateDeviceHandle", 1, 0);

    EXPECT_FALSE(service->connect("COM3"));

    EXPECT_EQ(fakeposnet::callNames(), (Calls{"POS_CreateDeviceHandle"}));
    EXPECT_FALSE(service->connected);
    EXPECT_TRUE(states.empty());
}

TEST_F(DriverTest, OpenFailingThrowsTheLibraryCodeAndDestroysTheHandle) {
    fakeposnet::forceResult("POS_OpenDevice", 1, 0);
    fakeposnet::forceResult("POS_GetError", 1, 1234);
    fakeposnet::setErrorText(1234, "Nie mo\xbf"
                                   "na otworzy\xe6 portu");

    const PosnetException failure = posnetFailure([this] { service->connect("COM9"); });

    EXPECT_EQ(failure.status, 500);
    EXPECT_EQ(failure.message, "Internal Server Error");
    EXPECT_EQ(failure.body["type"], "POSNET");
    EXPECT_EQ(failure.body["exception"]["code"], 1234);
    EXPECT_EQ(failure.body["exception"]["message"], "Nie można otworzyć portu");
    EXPECT_EQ(failure.body["exception"]["description"], "POS_OpenDevice()");
    const std::vector<fakeposnet::Call>& calls = fakeposnet::calls();
    ASSERT_EQ(fakeposnet::callNames(),
              (Calls{"POS_CreateDeviceHandle", "POS_SetDeviceParam", "POS_OpenDevice",
                     "POS_GetError", "POS_DestroyDeviceHandle", "POS_GetErrorString"}));
    EXPECT_EQ(calls[3].arguments, (Calls{handle}));
    EXPECT_EQ(calls[4].arguments, (Calls{handle}));
    EXPECT_EQ(calls[5].arguments, (Calls{"1234", "pl"}));
    EXPECT_FALSE(service->connected);
    EXPECT_TRUE(states.empty());
}

TEST_F(DriverTest, ErrorWithoutLibraryTextSaysSo) {
    fakeposnet::forceResult("POS_OpenDevice", 1, 0);
    fakeposnet::forceResult("POS_GetError", 1, 77);

    const PosnetException failure = posnetFailure([this] { service->connect("COM9"); });

    EXPECT_EQ(failure.body["exception"]["code"], 77);
    EXPECT_EQ(failure.body["exception"]["message"], "(brak opisu)");
}

TEST_F(DriverTest, DestroyingTheServiceClosesTheConnection) {
    connectAndForget();

    service.reset();

    EXPECT_EQ(fakeposnet::callNames(), (Calls{"POS_CloseDevice", "POS_DestroyDeviceHandle"}));
    EXPECT_EQ(states, (States{FiscalPrinterBase::Disconnected}));
}

TEST_F(DriverTest, TransactionPostsWaitsChecksAndDestroysTheRequest) {
    connectAndForget();

    service->runTransaction("trline", "na,Chleb\nvt,0");

    const std::vector<fakeposnet::Call>& calls = fakeposnet::calls();
    ASSERT_EQ(fakeposnet::callNames(),
              (Calls{"POS_CreateRequestEx", "POS_PostRequest", "POS_WaitForRequestCompleted",
                     "POS_GetRequestStatus", "POS_DestroyRequest"}));
    EXPECT_EQ(calls[0].arguments, (Calls{device, "trline", "na,Chleb\nvt,0"}));
    EXPECT_EQ(calls[1].arguments, (Calls{request, "0"}));
    EXPECT_EQ(calls[2].arguments, (Calls{request, "5000"}));
    EXPECT_EQ(calls[3].arguments, (Calls{request}));
    EXPECT_EQ(calls[4].arguments, (Calls{request}));
}

TEST_F(DriverTest, RequestThatCannotBeCreatedReportsTheDeviceError) {
    connectAndForget();
    fakeposnet::forceResult("POS_CreateRequestEx", 1, 0);
    fakeposnet::forceResult("POS_GetError", 1, 3);

    const PosnetException failure = posnetFailure([this] { service->runTransaction("sid", ""); });

    EXPECT_EQ(failure.body["exception"]["code"], 3);
    EXPECT_EQ(failure.body["exception"]["description"], "POS_CreateRequestEx()");
    EXPECT_EQ(fakeposnet::calls()[1].function, "POS_GetError");
    EXPECT_EQ(fakeposnet::calls()[1].arguments, (Calls{device}));
    EXPECT_TRUE(service->connected);
}

struct FailingStep {
    const char* function;
    const char* description;
};

void PrintTo(const FailingStep& step, std::ostream* out) {
    *out << step.function;
}

class FailingStepTest : public DriverTest, public ::testing::WithParamInterface<FailingStep> {};

TEST_P(FailingStepTest, NamesTheCallAndGivesTheRequestBack) {
    connectAndForget();
    fakeposnet::forceResult(GetParam().function, 1, 2000);

    const PosnetException failure =
        posnetFailure([this] { service->runTransaction("trline", "na,Chleb"); });

    EXPECT_EQ(failure.body["exception"]["code"], 2000);
    EXPECT_EQ(failure.body["exception"]["description"], GetParam().description);
    EXPECT_EQ(fakeposnet::callNames().back(), "POS_GetErrorString");
    const Calls names = fakeposnet::callNames();
    EXPECT_EQ(std::count(names.begin(), names.end(), "POS_DestroyRequest"), 1);
    EXPECT_TRUE(service->connected);
    EXPECT_TRUE(states.empty());
}

INSTANTIATE_TEST_SUITE_P(
    EachStep, FailingStepTest,
    ::testing::Values(FailingStep{"POS_PostRequest", "POS_PostRequest()"},
                      FailingStep{"POS_WaitForRequestCompleted", "POS_WaitForRequestCompleted()"},
                      FailingStep{"POS_GetRequestStatus", "POS_GetRequestStatus"}),
    [](const ::testing::TestParamInfo<FailingStep>& info) {
        return std::string(info.param.function).substr(4);
    });

TEST_F(DriverTest, StatusFailureWithResponseNamesTheCallWithParentheses) {
    connectAndForget();
    fakeposnet::forceResult("POS_GetRequestStatus", 1, 2000);

    const PosnetException failure =
        posnetFailure([this] { service->runTransactionWithResponse("vatget", ""); });

    EXPECT_EQ(failure.body["exception"]["description"], "POS_GetRequestStatus()");
}

TEST_F(DriverTest, LostLineClosesTheConnectionBeforeTheErrorLeaves) {
    connectAndForget();
    fakeposnet::forceResult("POS_WaitForRequestCompleted", 1, POSNET_STATUS_DISCONNECTED);

    const PosnetException failure = posnetFailure([this] { service->runTransaction("sid", ""); });

    EXPECT_EQ(failure.body["exception"]["code"], 8);
    EXPECT_FALSE(service->connected);
    EXPECT_EQ(states, (States{FiscalPrinterBase::Disconnected}));
    const Calls names = fakeposnet::callNames();
    const auto destroyed = std::find(names.begin(), names.end(), "POS_DestroyRequest");
    const auto closed = std::find(names.begin(), names.end(), "POS_CloseDevice");
    ASSERT_NE(closed, names.end());
    EXPECT_LT(destroyed, closed);
}

TEST_F(DriverTest, ResponseValuesAreCollectedAndALaterNameWins) {
    connectAndForget();
    fakeposnet::setResponseValues({{"va", "23,00"}, {"vb", "8,00"}, {"va", "5,00"}});

    const PosnetResponse values = service->runTransactionWithResponse("vatget", "");

    EXPECT_EQ(values, (PosnetResponse{{"va", "5,00"}, {"vb", "8,00"}}));
    EXPECT_EQ(fakeposnet::callNames().back(), "POS_DestroyRequest");
}

PrinterTypes::FiscalReceipt oneLineReceipt() {
    Json::Value sale(Json::objectValue);
    sale["GrossTotal"] = 7;
    sale["FiscalPrinterPaymentId"] = 0;
    sale["Items"][0]["ProductName"] = "Chleb";
    sale["Items"][0]["ProductCurrencyGrossPrice"] = 7;
    sale["Items"][0]["FiscalPrinterVatRateType"] = 0;
    sale["Items"][0]["GrossValue"] = 7;
    return PrinterTypes::FiscalReceipt(sale);
}

// The cancellation runs while the line's failure is on its way: its own failure must not
// replace that one.
TEST_F(DriverTest, FailedCancellationLetsTheOriginalErrorLeave) {
    connectAndForget();
    fakeposnet::forceResult("POS_GetRequestStatus", 2, 2000);
    fakeposnet::forceResult("POS_PostRequest", 3, 5);

    const PosnetException failure = posnetFailure([this] { service->print(oneLineReceipt()); });

    EXPECT_EQ(failure.body["exception"]["code"], 2000);
    EXPECT_EQ(failure.body["exception"]["description"], "POS_GetRequestStatus");
    const std::vector<fakeposnet::Call>& calls = fakeposnet::calls();
    ASSERT_GE(calls.size(), 4u);
    const std::vector<fakeposnet::Call> cancellation(calls.end() - 4, calls.end());
    EXPECT_EQ(cancellation[0].function, "POS_CreateRequest");
    EXPECT_EQ(cancellation[0].arguments, (Calls{device, "prncancel"}));
    EXPECT_EQ(cancellation[1].function, "POS_PostRequest");
    EXPECT_EQ(cancellation[1].arguments, (Calls{request, "0"}));
    EXPECT_EQ(cancellation[2].function, "POS_WaitForRequestCompleted");
    EXPECT_EQ(cancellation[2].arguments, (Calls{request, "5000"}));
    EXPECT_EQ(cancellation[3].function, "POS_DestroyRequest");
    EXPECT_TRUE(service->connected);
}

// Rates come with a decimal comma; a rate the printer does not report stays 0.
TEST_F(DriverTest, VatRatesReadTheLeadingNumberOfTheirOwnNamesOnly) {
    connectAndForget();
    fakeposnet::setResponseValues(
        {{"va", "23,00"}, {"vb", "8,50"}, {"vd", " 7.25xyz"}, {"vh", "99,00"}, {"nm", "5"}});

    const PrinterTypes::VatMapping rates = service->getVatMapping();

    EXPECT_EQ(fakeposnet::calls()[0].arguments, (Calls{device, "vatget", ""}));
    EXPECT_FLOAT_EQ(rates.va, 23);
    EXPECT_FLOAT_EQ(rates.vb, 8.5);
    EXPECT_FLOAT_EQ(rates.vd, 7.25);
    for (float absent : {rates.vc, rates.ve, rates.vf, rates.vg}) {
        EXPECT_EQ(absent, 0);
    }
}

TEST_F(DriverTest, VatRateThatIsNotAFloatFailsWithTheConversionError) {
    const struct {
        const char* value;
        const char* message;
    } cases[] = {{"brak", "invalid stof argument"}, {"1e60", "stof argument out of range"}};
    for (const auto& bad : cases) {
        connectAndForget();
        fakeposnet::setResponseValues({{"va", "23,00"}, {"vc", bad.value}});
        try {
            service->getVatMapping();
            ADD_FAILURE() << bad.value << " accepted";
        } catch (const std::logic_error& failure) {
            EXPECT_STREQ(failure.what(), bad.message);
        }
    }
}

// A rate the web application could not use is not passed on as a number.
TEST_F(DriverTest, VatRateOutsideZeroToHundredAndOneIsRefusedNamingIt) {
    for (const char* bad : {"nan", "inf", "-5,00", "1e30", "101,50"}) {
        connectAndForget();
        fakeposnet::setResponseValues({{"va", "23,00"}, {"vf", "101,00"}, {"vg", bad}});
        try {
            service->getVatMapping();
            ADD_FAILURE() << bad << " accepted";
        } catch (const RestException& refusal) {
            EXPECT_EQ(refusal.status, 500);
            EXPECT_EQ(refusal.body["rate"], "vg") << bad;
            EXPECT_EQ(refusal.body["received"], bad);
            EXPECT_TRUE(refusal.body["exception"].isString());
        }
    }
}

} // namespace
