#include "service/posnet_exception.h"

#include <functional>
#include <gtest/gtest.h>
#include <json/reader.h>

namespace {

Json::Value answerTo(const std::function<void()>& failure) {
    try {
        try {
            failure();
        } catch (const PrinterError&) {
            rethrowAsAnswer();
        }
    } catch (const RestException& answer) {
        EXPECT_EQ(answer.status, 500);
        EXPECT_EQ(answer.message, "Internal Server Error");
        return answer.body;
    }
    ADD_FAILURE() << "no answer";
    return Json::Value();
}

} // namespace

TEST(PrinterErrorAnswers, EachErrorIsAnswered500WithItsBody) {
    const PosnetError lostLine(8, "Utracono połączenie z drukarką",
                               "POS_WaitForRequestCompleted()");
    const struct {
        std::function<void()> failure;
        const char* body;
    } cases[] = {
        {[] { throw PosnetError(1234, "Nie można otworzyć portu", "POS_OpenDevice()"); },
         R"j({"type": "POSNET", "exception": {"code": 1234, "message": "Nie można otworzyć portu",
             "description": "POS_OpenDevice()"}})j"},
        {[] { throw PrinterNotConnected(); }, R"j("Brak połączenia z drukarką")j"},
        {[&] { throw DocumentOutcomeUnknown(lostLine, DocumentKind::DailyReport); },
         R"j({"type": "POSNET", "outcome": "unknown", "exception": {"code": 8,
             "message": "Utracono połączenie z drukarką i nie wiadomo, czy raport dobowy został wydrukowany. Sprawdź ostatni wydruk na drukarce, zanim wydrukujesz raport ponownie.",
             "description": "POS_WaitForRequestCompleted()"}})j"},
        {[] { throw UnusableVatRate("vg", "-5,00"); },
         R"j({"exception": "Drukarka podała stawkę VAT, której nie można użyć", "rate": "vg",
             "received": "-5,00"})j"},
        {[] { throw UnreadableAnswer("cs", "12a"); },
         R"j({"exception": "Drukarka podała wartość, której nie można odczytać", "field": "cs",
             "received": "12a"})j"},
        {[&] { throw DocumentOutcomeUnknown(lostLine, DocumentKind::CashSlip); },
         R"j({"type": "POSNET", "outcome": "unknown", "exception": {"code": 8,
             "message": "Utracono połączenie z drukarką i nie wiadomo, czy wpłata lub wypłata została zapisana. Sprawdź stan kasy, zanim zapiszesz ją ponownie.",
             "description": "POS_WaitForRequestCompleted()"}})j"},
    };
    for (const auto& each : cases) {
        Json::Value expected;
        ASSERT_TRUE(Json::Reader().parse(each.body, expected)) << each.body;
        EXPECT_EQ(answerTo(each.failure), expected);
    }
}
