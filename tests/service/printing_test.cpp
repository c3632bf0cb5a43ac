// Receipts, VAT rates and the daily report through the real HTTPS listener and the open
// printer library, printed by the virtual printer on TCP.
#include "posnet/parameter_text.h"
#include "service/posnet_exception.h"
#include "service/printer_types.h"
#include "service_test_support.h"
#include "support/posnet_client.h"
#include "support/virtual_printer_process.h"
#include <boost/filesystem/fstream.hpp>
#include <boost/filesystem/operations.hpp>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <json/writer.h>
#include <openssl/evp.h>
#include <regex>
#include <sys/resource.h>
#include <thread>

namespace {

using States = std::vector<FiscalPrinterBase::State>;
const char* const noConnection = "Brak połączenia z drukarką";

// A sale of three lines: a weighed one with Polish letters and a unit, one whose name tries
// to smuggle in a line value of its own, and one without quantity or unit.
const char* const sale = R"({
    "GrossTotal": 21.96, "FiscalPrinterPaymentId": 2, "CustomerNip": "526-025-09-95",
    "Items": [
        {"ProductName": "Żółty ser gouda", "ProductUnitOfMeasurment": "kg", "Quantity": 0.452,
         "ProductCurrencyGrossPrice": 29.99, "FiscalPrinterVatRateType": 1, "GrossValue": 13.56},
        {"ProductName": "Chleb żytni\nwa,1", "Quantity": 2,
         "ProductCurrencyGrossPrice": 3.95, "FiscalPrinterVatRateType": 2, "GrossValue": 7.90},
        {"ProductName": "Reklamówka", "ProductCurrencyGrossPrice": 0.5,
         "FiscalPrinterVatRateType": 0, "GrossValue": 0.5}
    ]})";

// The journal of `sale`, after its receipt's heading line.
const char* const salePrinted = "BUYER NIP 526-025-09\n"
                                "LINE Żółty ser gouda | 0.4520 kg x 29.99 | 13.56 B\n"
                                "LINE Chleb żytni wa,1 | 2.00 x 3.95 | 7.90 C\n"
                                "LINE Reklamówka | 1.00 x 0.50 | 0.50 A\n"
                                "PAYMENT card 21.96\n"
                                "TOTAL 21.96\n"
                                "END RECEIPT\n\n";

const char* const twoLineSale = R"({"GrossTotal": 10, "FiscalPrinterPaymentId": 0, "Items": [
    {"ProductName": "Masło", "ProductCurrencyGrossPrice": 7, "FiscalPrinterVatRateType": 0,
     "GrossValue": 7},
    {"ProductName": "Mleko", "ProductCurrencyGrossPrice": 3, "FiscalPrinterVatRateType": 0,
     "GrossValue": 3}]})";

const char* const footerSale = R"({"GrossTotal": 10, "FiscalPrinterPaymentId": 0, "Items": [
    {"ProductName": "Masło", "ProductCurrencyGrossPrice": 10, "FiscalPrinterVatRateType": 0,
     "GrossValue": 10}],
    "FooterLines": [{"Kind": "OrderNumber", "Text": "ZAM/1"}, {"Text": "Dziękujemy"}]})";

size_t occurrences(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

class PrintingTest : public ::testing::Test {
protected:
    // The service connects to `printer` at start.
    void configure(const VirtualPrinterProcess& printer, bool dontPrintNip = false) {
        Json::Value file = parseJson(configurationFile(printer.port(), 1));
        file["dontPrintNipOnFiscalPrinter"] = dontPrintNip;
        environment.writeConfiguration(Json::FastWriter().write(file));
    }

    // The printer commands run, in order.
    std::vector<std::string> commandsSent() const {
        const std::string prefix = "info : Posnet transaction: ";
        std::vector<std::string> commands;
        for (const std::string& line : log.lines()) {
            if (line.compare(0, prefix.size(), prefix) == 0) {
                commands.push_back(line.substr(prefix.size()));
            }
        }
        return commands;
    }

    ServiceTestEnvironment environment;
    LogCapture log;
};

TEST_F(PrintingTest, ReceiptIsPrintedWithItsLinesTotalsAndPayment) {
    VirtualPrinterProcess printer;
    configure(printer);
    RunningService service;

    const HttpAnswer answer = service.post("/printer/print", sale);

    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(answer.body, "true");
    EXPECT_EQ(printer.journal().substr(printer.journal().find('\n') + 1), salePrinted);
    EXPECT_EQ(printer.journal().compare(0, 8, "RECEIPT "), 0);
    EXPECT_EQ(commandsSent(), (std::vector<std::string>{"trinit", "trnipset", "trline", "trline",
                                                        "trline", "trpayment", "trend"}));
}

TEST_F(PrintingTest, BuyerNipIsSentOnlyWhenGivenAndAllowed) {
    VirtualPrinterProcess printer;
    configure(printer);
    RunningService service;
    Json::Value receipt = parseJson(twoLineSale);
    receipt["CustomerNip"] = "";
    ASSERT_EQ(service.post("/printer/print", receipt.toStyledString()).body, "true");

    Json::Value configuration = parseJson(configurationFile(printer.port(), 1));
    configuration["dontPrintNipOnFiscalPrinter"] = true;
    ASSERT_EQ(service.post("/config/save", configuration.toStyledString()).status, 200);
    receipt["CustomerNip"] = "5260250995";
    ASSERT_EQ(service.post("/printer/print", receipt.toStyledString()).body, "true");

    EXPECT_EQ(occurrences(printer.journal(), "END RECEIPT"), 2u);
    EXPECT_EQ(printer.journal().find("BUYER NIP"), std::string::npos);
}

// The lines go out ahead of their answers, so the printer runs those behind the refused one;
// the refusal still decides and the receipt is cancelled.
TEST_F(PrintingTest, RefusedLineInTheMiddleCancelsTheReceipt) {
    VirtualPrinterProcess printer({"--refuse", "trline:2:2000"});
    configure(printer);
    RunningService service;

    const HttpAnswer refused = service.post("/printer/print", sale);

    EXPECT_EQ(refused.status, 500);
    const Json::Value body = parseJson(refused.body);
    EXPECT_EQ(body["type"], "POSNET");
    EXPECT_EQ(body["exception"]["code"], 2000);
    EXPECT_EQ(body["exception"]["description"], "POS_GetRequestStatus");
    EXPECT_EQ(printer.journal().compare(0, 18, "CANCELLED RECEIPT "), 0);
    EXPECT_EQ(occurrences(printer.journal(), "END CANCELLED RECEIPT"), 1u);
    EXPECT_EQ(occurrences(printer.journal(), "LINE Chleb"), 0u);
    EXPECT_EQ(commandsSent(), (std::vector<std::string>{"trinit", "trnipset", "trline", "trline",
                                                        "trline", "trpayment"}));
    EXPECT_EQ(countLines(log, "info : Canceling transaction"), 1u);
    // A receipt left open would make the printer refuse the next "trinit".
    EXPECT_EQ(service.post("/printer/print", twoLineSale).body, "true");
    EXPECT_EQ(occurrences(printer.journal(), "END RECEIPT"), 1u);
}

// A printer with no room for a command sent ahead answers it with frame error 14 and does not
// run it; the program then sends one command at a time, and the sale prints once, whole.
TEST_F(PrintingTest, PrinterWithoutRoomForCommandsSentAheadPrintsTheSaleOnce) {
    struct Case {
        std::vector<std::string> options;
        size_t cancelled;
    };
    const Case cases[] = {
        // Its queue holds one command: every command behind the first finds no room.
        {{"--queue-limit", "1", "--delay", "100"}, 0},
        // The second line found no room but the third did: that receipt is not the sale.
        {{"--refuse", "trline:2:14"}, 1},
    };
    for (const Case& each : cases) {
        SCOPED_TRACE(each.options[0]);
        VirtualPrinterProcess printer(each.options);
        configure(printer);
        RunningService service;

        EXPECT_EQ(service.post("/printer/print", sale).body, "true");

        const std::string journal = printer.journal();
        EXPECT_EQ(occurrences(journal, "END RECEIPT"), 1u);
        EXPECT_EQ(occurrences(journal, "END CANCELLED RECEIPT"), each.cancelled);
        EXPECT_EQ(journal.substr(journal.size() - std::string(salePrinted).size()), salePrinted);
        EXPECT_TRUE(log.contains("warning : The printer had no room for a command sent ahead "
                                 "(frame error 14); sending one command at a time"));
    }
}

// An older printer gives no counters: its receipts print all the same, whether the question
// went out ahead with the sale or, once the printer's queue overran, on its own.
TEST_F(PrintingTest, PrinterWithoutCountersPrints) {
    struct Case {
        std::vector<std::string> options;
        size_t refused;
    };
    const Case cases[] = {
        {{"--refuse", "scnt:1:1", "--refuse", "scnt:2:1"}, 2},
        {{"--queue-limit", "1", "--delay", "100", "--refuse", "scnt:2:1"}, 1},
    };
    const std::string refusal = "error : Posnet exception: 1 Nierozpoznana komenda";
    for (const Case& each : cases) {
        SCOPED_TRACE(each.options[0]);
        VirtualPrinterProcess printer(each.options);
        configure(printer);
        RunningService service;
        const size_t before = countLines(log, refusal);

        EXPECT_EQ(service.post("/printer/print", sale).body, "true");
        EXPECT_EQ(service.post("/printer/print", sale).body, "true");

        EXPECT_EQ(occurrences(printer.journal(), "END RECEIPT"), 2u);
        EXPECT_EQ(countLines(log, refusal) - before, each.refused);
    }
}

TEST_F(PrintingTest, ReceiptLeftOpenIsCancelledBeforeTheNextOne) {
    // The printer refuses the second line and then the cancellation, so the receipt stays open.
    VirtualPrinterProcess printer({"--refuse", "trline:2:2000", "--refuse", "prncancel:1:2005"});
    configure(printer);
    RunningService service;
    ASSERT_EQ(service.post("/printer/print", twoLineSale).status, 500);

    const HttpAnswer next = service.post("/printer/print", twoLineSale);

    EXPECT_EQ(next.status, 200);
    EXPECT_EQ(next.body, "true");
    // The lines sent behind the refused "trinit" went into the receipt left open, and were
    // cancelled with it.
    EXPECT_EQ(commandsSent(),
              (std::vector<std::string>{"trinit", "trline", "trline", "trpayment", "trinit",
                                        "trline", "trline", "trpayment", "trinit", "trline",
                                        "trline", "trpayment", "trend"}));
    EXPECT_EQ(countLines(log, "info : A receipt is still open; cancelling it and opening again"),
              1u);
    EXPECT_EQ(countLines(log, "info : Canceling transaction"), 2u);
    EXPECT_EQ(occurrences(printer.journal(), "END CANCELLED RECEIPT"), 1u);
    EXPECT_EQ(occurrences(printer.journal(), "END RECEIPT"), 1u);
}

// A printer that will not say whether a footer is open has its receipt cancelled.
TEST_F(PrintingTest, SecondRefusalToOpenAReceiptIsAnswered) {
    VirtualPrinterProcess printer(
        {"--refuse", "trinit:1:2060", "--refuse", "trinit:2:2038", "--refuse", "strns:1:2060"});
    configure(printer);
    RunningService service;

    const HttpAnswer refused = service.post("/printer/print", twoLineSale);

    EXPECT_EQ(refused.status, 500);
    EXPECT_EQ(parseJson(refused.body)["exception"]["code"], 2038);
    EXPECT_EQ(commandsSent(),
              (std::vector<std::string>{"trinit", "trline", "trline", "trpayment", "trinit",
                                        "trline", "trline", "trpayment"}));
    EXPECT_EQ(countLines(log, "info : Canceling transaction"), 2u);
    EXPECT_EQ(printer.journal(), "");
}

TEST_F(PrintingTest, PrinterFallingSilentMidReceiptClosesTheConnection) {
    // Two frames open the connection; "trinit" and the first line are the last answered.
    VirtualPrinterProcess printer({"--silent-after", "4"});
    configure(printer);
    RunningService service;

    const HttpAnswer lost = service.post("/printer/print", twoLineSale);

    EXPECT_EQ(lost.status, 500);
    EXPECT_EQ(parseJson(lost.body)["exception"]["code"], 8);
    EXPECT_FALSE(service.connected());
    EXPECT_EQ(service.states(), (States{FiscalPrinterBase::Disconnected}));
    const HttpAnswer closed = service.post("/printer/print", twoLineSale);
    EXPECT_EQ(closed.status, 500);
    EXPECT_EQ(parseJson(closed.body), noConnection);
    EXPECT_EQ(countLines(log, "info : Canceling transaction"), 2u);
    EXPECT_EQ(printer.journal(), "");
}

// `patch` laid over `base`: objects key by key, arrays element by element.
Json::Value merged(Json::Value base, const Json::Value& patch) {
    if (base.isNull() || (!patch.isObject() && !patch.isArray())) {
        return patch;
    }
    for (auto part = patch.begin(); part != patch.end(); ++part) {
        Json::Value& target = patch.isArray() ? base[part.index()] : base[part.name()];
        target = merged(target, *part);
    }
    return base;
}

// Two lines, 6.00 at rate A and 4.00 at rate B, paid in cash; each case adds keys to it.
const char* const saleOfTwo = R"({"GrossTotal": 10, "FiscalPrinterPaymentId": 0, "Items": [
    {"ProductName": "Woda", "Quantity": 3, "ProductCurrencyGrossPrice": 2,
     "FiscalPrinterVatRateType": 0, "GrossValue": 6},
    {"ProductName": "Chleb", "ProductCurrencyGrossPrice": 4, "FiscalPrinterVatRateType": 1,
     "GrossValue": 4}]})";
const std::string linesOfTwo =
    "LINE Woda | 3.00 x 2.00 | 6.00 A\nLINE Chleb | 1.00 x 4.00 | 4.00 B\n";

TEST_F(PrintingTest, SaleKeysArePrintedAsTheJournalShows) {
    struct Case {
        const char* name;
        const char* patch;
        std::string printed; // the journal after the receipt's heading line
    };
    const Case cases[] = {
        {"line discount in percent, named",
         R"({"GrossTotal": 9.4, "Items": [{"Discount": {"Percent": 10, "Name": "Promocja"}}]})",
         "LINE Woda | 3.00 x 2.00 | 6.00 A\nDISCOUNT Promocja 10,00% -0.60 | 5.40 A\n"
         "LINE Chleb | 1.00 x 4.00 | 4.00 B\nPAYMENT cash 9.40\nTOTAL 9.40\n"},
        {"line discount as an amount, with a description",
         R"({"GrossTotal": 9.5, "Items": [{}, {"Discount": {"Amount": 0.5},
             "Description": "Żytni"}]})",
         linesOfTwo + "DISCOUNT -0.50 | 3.50 B\nDESCRIPTION Żytni\nPAYMENT cash 9.50\n"
                      "TOTAL 9.50\n"},
        {"markup", R"({"GrossTotal": 11, "Items": [{"Discount": {"Amount": 1, "Markup": true}}]})",
         "LINE Woda | 3.00 x 2.00 | 6.00 A\nMARKUP +1.00 | 7.00 A\n"
         "LINE Chleb | 1.00 x 4.00 | 4.00 B\nPAYMENT cash 11.00\nTOTAL 11.00\n"},
        {"receipt discount", R"({"GrossTotal": 9.5, "Discount": {"Percent": 5}})",
         linesOfTwo + "RECEIPT DISCOUNT 5,00% -0.50 | 9.50\nPAYMENT cash 9.50\nTOTAL 9.50\n"},
        {"card and cash with change",
         R"({"Payments": [{"FiscalPrinterPaymentId": 2, "Amount": 5},
                          {"FiscalPrinterPaymentId": 0, "Amount": 20}]})",
         linesOfTwo + "PAYMENT card 5.00\nPAYMENT cash 20.00\nCHANGE cash 15.00\nTOTAL 10.00\n"},
        {"card beyond the total, change in cash",
         R"({"Payments": [{"FiscalPrinterPaymentId": 2, "Amount": 12}]})",
         linesOfTwo + "PAYMENT card 12.00\nCHANGE cash 2.00\nTOTAL 10.00\n"},
        {"deposits taken and returned",
         R"({"GrossTotal": 12, "Deposits": [
             {"Number": "1", "Quantity": 6, "Price": 0.5, "Description": "Butelka PET"},
             {"Number": "2", "Quantity": 2, "Price": 0.5, "Returned": true}]})",
         linesOfTwo + "DEPOSIT TAKEN 1 Butelka PET | 6 x 0.50 | 3.00\n"
                      "DEPOSIT RETURNED 2 | 2 x 0.50 | 1.00\nPAYMENT cash 12.00\nTOTAL 10.00\n"
                      "DEPOSITS TAKEN 3.00\nDEPOSITS RETURNED 1.00\nTO PAY 12.00\n"},
        {"empty lists of deposits and footer lines", R"({"Deposits": [], "FooterLines": []})",
         linesOfTwo + "PAYMENT cash 10.00\nTOTAL 10.00\n"},
        {"footer lines",
         R"({"FooterLines": [{"Kind": "OrderNumber", "Text": "ZAM/2026/0042"},
             {"Kind": "Customer", "Text": "Jan Kowalski"}, {"Text": "Dziękujemy"}]})",
         linesOfTwo + "PAYMENT cash 10.00\nTOTAL 10.00\nFOOTER ORDER NO. ZAM/2026/0042\n"
                      "FOOTER CUSTOMER Jan Kowalski\nFOOTER Dziękujemy\n"},
    };
    VirtualPrinterProcess printer;
    configure(printer);
    RunningService service;
    for (const Case& each : cases) {
        SCOPED_TRACE(each.name);
        const std::size_t before = printer.journal().size();
        const Json::Value body = merged(parseJson(saleOfTwo), parseJson(each.patch));

        const HttpAnswer answer = service.post("/printer/print", body.toStyledString());

        EXPECT_EQ(answer.body, "true");
        const std::string journal = printer.journal().substr(before);
        EXPECT_EQ(journal.substr(journal.find('\n') + 1), each.printed + "END RECEIPT\n\n");
    }
}

// What the program can check is refused before anything is sent; what only the printer can
// (a percent worked out by its method) cancels the receipt.
TEST_F(PrintingTest, SaleKeysThatCannotBePrintedAreRefused) {
    struct Case {
        const char* patch;
        int status;
        std::string answer; // the 400's text, or the printer's error number
    };
    const Case cases[] = {
        {R"({"Items": [{"Discount": {"Amount": 6}}]})", 400,
         "value Items[0].Discount.Amount is greater than 5.99"},
        {R"({"Items": [{}, {"Discount": {"Percent": 100}}]})", 400,
         "value Items[1].Discount.Percent is greater than 99.99"},
        {R"({"Discount": {"Percent": 5, "Amount": 1}})", 400,
         "value Discount has both Percent and Amount"},
        {R"({"Discount": {"Name": "X"}})", 400,
         "required value Discount.Percent or Discount.Amount does not exist"},
        {R"({"GrossTotal": 8, "Discount": {"Amount": 1.5}})", 400,
         "value GrossTotal is lower than 8.50"},
        // Eight payments are as many as may be given.
        {R"({"Payments": [{"FiscalPrinterPaymentId": 2, "Amount": 1}, {"FiscalPrinterPaymentId": 2,
             "Amount": 1}, {"FiscalPrinterPaymentId": 2, "Amount": 1}, {"FiscalPrinterPaymentId": 2,
             "Amount": 1}, {"FiscalPrinterPaymentId": 2, "Amount": 1}, {"FiscalPrinterPaymentId": 2,
             "Amount": 1}, {"FiscalPrinterPaymentId": 2, "Amount": 1}, {"FiscalPrinterPaymentId": 0,
             "Amount": 1}]})",
         400, "value Payments is lower than 10.00"},
        {R"({"Payments": [{"FiscalPrinterPaymentId": 0, "Amount": 10},
                          {"FiscalPrinterPaymentId": 2, "Amount": 5}]})",
         400, "value Payments[1] is not needed: the payments before it cover 10.00"},
        {R"({"Payments": []})", 400, "value Payments has no entries"},
        {R"({"GrossTotal": 0, "Payments": [{"FiscalPrinterPaymentId": 0, "Amount": 1}],
             "Deposits": [{"Number": "1", "Quantity": 10, "Price": 1, "Returned": true}]})",
         400, "value Payments[0] is not needed: the payments before it cover 0.00"},
        {R"({"Payments": [{"FiscalPrinterPaymentId": 9, "Amount": 10}]})", 400,
         "value Payments[0].FiscalPrinterPaymentId is greater than 8"},
        {R"({"GrossTotal": 12, "Deposits": [{"Number": "1", "Quantity": 0, "Price": 1}]})", 400,
         "value Deposits[0].Quantity is lower than 1"},
        {R"({"GrossTotal": 11, "Deposits": [{"Number": "1a", "Quantity": 1, "Price": 1}]})", 400,
         "value Deposits[0].Number is not 1 to 11 digits"},
        {R"({"FooterLines": [{"Kind": "Cashier", "Text": "Anna"}]})", 400,
         "value FooterLines[0].Kind is not one of Text, OrderNumber, Customer"},
        {R"({"FooterLines": [{"Kind": "Customer"}]})", 400,
         "required value FooterLines[0].Text does not exist"},
        // 10 % of 6.00 is 0.60, so the printer's total is 9.40.
        {R"({"GrossTotal": 9.5, "Items": [{"Discount": {"Percent": 10}}]})", 500, "2805"},
    };
    VirtualPrinterProcess printer;
    configure(printer);
    RunningService service;
    for (const Case& each : cases) {
        SCOPED_TRACE(each.patch);
        const Json::Value body = merged(parseJson(saleOfTwo), parseJson(each.patch));

        const HttpAnswer answer = service.post("/printer/print", body.toStyledString());

        EXPECT_EQ(answer.status, each.status);
        const Json::Value refusal = parseJson(answer.body);
        EXPECT_EQ(refusal.isString() ? refusal : refusal["exception"]["code"].asString(),
                  each.answer);
    }
    EXPECT_EQ(occurrences(printer.journal(), "END CANCELLED RECEIPT"), 1u);
    EXPECT_EQ(occurrences(printer.journal(), "END RECEIPT"), 0u);
}

// A footer the printer would not end leaves the receipt printed; the next receipt ends it
// instead of printing or cancelling anything of it.
TEST_F(PrintingTest, FooterLeftOpenIsEndedBeforeTheNextReceipt) {
    VirtualPrinterProcess printer({"--refuse", "trftrln:1:2056", "--refuse", "trftrend:1:2064"});
    configure(printer);
    RunningService service;

    EXPECT_EQ(service.post("/printer/print", footerSale).body, "true");
    EXPECT_EQ(printer.journal(), "");
    EXPECT_EQ(service.post("/printer/print", twoLineSale).body, "true");

    const std::string journal = printer.journal();
    EXPECT_EQ(occurrences(journal, "END RECEIPT"), 2u);
    EXPECT_EQ(occurrences(journal, "CANCELLED"), 0u);
    EXPECT_LT(journal.find("FOOTER Dziękujemy\nEND RECEIPT"), journal.find("LINE Mleko"));
    EXPECT_TRUE(log.contains("error : The receipt was printed, but its footer was not finished: "
                             "POS_GetRequestStatus failed with 2056 Pusty tekst"));
    EXPECT_EQ(countLines(log, "info : A printed receipt's footer is still open; ending it"), 2u);
}

// A printer that does not know "getrealid" is asked "sid"; the page shows model and firmware.
TEST_F(PrintingTest, PrinterInfoNamesModelFirmwareAndUniqueNumber) {
    for (const std::vector<std::string>& options :
         {std::vector<std::string>{}, std::vector<std::string>{"--refuse", "getrealid:1:2060"}}) {
        VirtualPrinterProcess printer(options);
        configure(printer);
        RunningService service;

        const Json::Value status = parseJson(service.get("/status").body);
        EXPECT_EQ(status["model"], "Virtual Posnet");
        EXPECT_EQ(status["firmware"], "1.00");
        EXPECT_EQ(parseJson(service.get("/printer/info").body),
                  parseJson(R"({"model": "Virtual Posnet", "firmware": "1.00",
                                "uniqueNumber": "VPN00000001", "fiscal": true})"));
    }
}

// Cash in and out move the till's cash state, once per key; the drawer opens.
TEST_F(PrintingTest, CashInOutCashStateAndDrawerAnswerAsThePrinterDoes) {
    VirtualPrinterProcess printer;
    configure(printer);
    RunningService service;
    const std::string key = "Idempotency-Key: cash-1\r\n";

    EXPECT_EQ(service.post("/printer/cash", R"({"Amount": 100, "Direction": "In"})", key).body,
              "true");
    EXPECT_EQ(service.post("/printer/cash", R"({"Amount": 100, "Direction": "In"})", key).body,
              "true");
    EXPECT_EQ(service.post("/printer/cash", R"({"Amount": 23.45, "Direction": "Out"})").body,
              "true");
    EXPECT_EQ(parseJson(service.post("/printer/cash", R"({"Amount": 1, "Direction": "Up"})").body),
              "value Direction is not one of In, Out");
    EXPECT_EQ(parseJson(service.post("/printer/cash", R"({"Amount": 0, "Direction": "In"})").body),
              "value Amount is lower than 0.01");
    EXPECT_EQ(service.get("/printer/cash").body, R"({"amount":76.55})");
    EXPECT_EQ(service.post("/printer/drawer", "").body, "true");

    EXPECT_EQ(occurrences(printer.journal(), "AMOUNT 100.00\nEND CASH IN"), 1u);
    EXPECT_EQ(occurrences(printer.journal(), "AMOUNT 23.45\nEND CASH OUT"), 1u);
    EXPECT_EQ(occurrences(printer.journal(), "DRAWER OPENED"), 1u);
}

// The program's own page asks "/status"; it checks an open connection with "sid" first.
TEST_F(PrintingTest, StatusShowsThePrintersLastRefusalAndAPrinterSwitchedOff) {
    VirtualPrinterProcess printer({"--refuse", "trline:4:2000"});
    configure(printer);
    RunningService service;
    const std::regex utcTime("[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}Z");

    const Json::Value first = parseJson(service.get("/status").body);
    EXPECT_TRUE(first["connected"].asBool());
    EXPECT_TRUE(first["lastRefusal"].isNull());
    EXPECT_TRUE(std::regex_match(first["lastCompletedCommand"].asString(), utcTime));
    ASSERT_EQ(service.post("/printer/print", twoLineSale).status, 200);
    EXPECT_TRUE(parseJson(service.get("/status").body)["lastRefusal"].isNull());
    ASSERT_EQ(service.post("/printer/print", twoLineSale).status, 500);

    const Json::Value refused = parseJson(service.get("/status").body);
    EXPECT_TRUE(refused["connected"].asBool());
    EXPECT_EQ(refused["lastRefusal"]["code"], 2000);
    EXPECT_EQ(refused["lastRefusal"]["message"],
              "Błąd pola stawki VAT (błędny numer lub nieaktywna stawka)");
    EXPECT_EQ(refused["lastRefusal"]["description"], "POS_GetRequestStatus");
    EXPECT_TRUE(std::regex_match(refused["lastRefusal"]["time"].asString(), utcTime));
    printer.stop();

    const Json::Value off = parseJson(service.get("/status").body);
    EXPECT_FALSE(off["connected"].asBool());
    EXPECT_EQ(off["lastRefusal"]["code"], 8);
    EXPECT_EQ(service.states(), (States{FiscalPrinterBase::Disconnected}));
    EXPECT_EQ(countLines(log, "info : Posnet transaction: sid"), 4u);
}

TEST_F(PrintingTest, VatMappingAnswersThePrintersSevenRates) {
    VirtualPrinterProcess printer({"--vat", "23,8,5.5,0,100,101,7"});
    configure(printer);
    RunningService service;

    const HttpAnswer answer = service.get("/printer/get_vat_mapping");

    ASSERT_EQ(answer.status, 200);
    const Json::Value rates = parseJson(answer.body);
    ASSERT_EQ(rates.getMemberNames(),
              (std::vector<std::string>{"va", "vb", "vc", "vd", "ve", "vf", "vg"}));
    const double expected[] = {23, 8, 5.5, 0, 100, 101, 7};
    for (int rate = 0; rate < 7; ++rate) {
        EXPECT_EQ(rates[std::string("v") + static_cast<char>('a' + rate)].asDouble(),
                  expected[rate]);
    }
}

std::string dateText(const std::tm& time) {
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", &time);
    return text;
}

// Puts the process in a time zone whose date differs from UTC's right now, so that a report
// dated in UTC would be refused; restores the zone after.
class ZoneAwayFromUtc {
public:
    ZoneAwayFromUtc() {
        const char* zone = std::getenv("TZ");
        if (zone != nullptr) {
            previous = zone;
        }
        const std::time_t now = std::time(nullptr);
        std::tm utc{};
        gmtime_r(&now, &utc);
        // Twelve hours behind UTC before 11:00 UTC, fourteen ahead from then on: at least an
        // hour away from the local midnight either way.
        setenv("TZ", utc.tm_hour < 11 ? "TST+12" : "TST-14", 1);
        tzset();
    }
    ~ZoneAwayFromUtc() {
        if (previous.empty()) {
            unsetenv("TZ");
        } else {
            setenv("TZ", previous.c_str(), 1);
        }
        tzset();
    }

private:
    std::string previous;
};

TEST_F(PrintingTest, DailyReportIsDatedTodayInLocalTime) {
    ZoneAwayFromUtc zone;
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    std::tm utc{};
    const std::string today = dateText(*localtime_r(&now, &local));
    ASSERT_NE(today, dateText(*gmtime_r(&now, &utc)));
    VirtualPrinterProcess printer({"--date", today});
    configure(printer);
    RunningService service;
    // A printer refuses a report of a day without receipts.
    ASSERT_EQ(service.post("/printer/print", twoLineSale).status, 200);

    const HttpAnswer answer = service.get("/daily_report");

    EXPECT_EQ(answer.status, 200);
    EXPECT_NE(printer.journal().find("\nDAILY REPORT " + today + " "), std::string::npos)
        << printer.journal();
    EXPECT_NE(printer.journal().find("END DAILY REPORT"), std::string::npos);
}

TEST_F(PrintingTest, ClosedConnectionSendsNothing) {
    VirtualPrinterProcess printer;
    configure(printer);
    RunningService service;
    ASSERT_EQ(service.get("/disconnect").status, 200);

    for (const HttpAnswer& answer :
         {service.post("/printer/print", twoLineSale), service.get("/printer/get_vat_mapping"),
          service.get("/daily_report")}) {
        EXPECT_EQ(answer.status, 500);
        EXPECT_EQ(parseJson(answer.body), noConnection);
    }
    EXPECT_EQ(printer.journal(), "");
    EXPECT_EQ(countLines(log, "info : Canceling transaction"), 1u);
}

// A document a key's request prints, as the fault tests send it.
struct Document {
    const char* path;
    const char* sale; // none: the report's GET
    const char* end;  // the journal's last line of one
    const char* done; // the body of the answer that it was done
    std::vector<const char*> commands; // the faults' cues, its closing command last
};
const Document keyedReceipt{
    "/printer/print",
    twoLineSale,
    "END RECEIPT",
    "true",
    {"scnt:1", "trinit:1", "trline:1", "trline:2", "trpayment:1", "trend:1"}};
const Document keyedReport{"/daily_report", nullptr, "END DAILY REPORT", "null", {"dailyrep:1"}};
const Document keyedCash{
    "/printer/cash", R"({"Amount": 5, "Direction": "In"})", "END CASH IN", "true", {"cash:1"}};

HttpAnswer sendDocument(RunningService& service, const Document& document,
                        const std::string& header) {
    return document.sale ? service.post(document.path, document.sale, header)
                         : service.get(document.path, header);
}

// Every fault at every command of a keyed receipt (with footer lines or without), of a daily
// report and of a cash slip, the same key retried once, after a restart of the program where
// the document's fate rests on its key's record:
// at most one document completed, exactly one when an answer said so, and every answer
// without "outcome": "unknown" true to the journal when it was given.
TEST_F(PrintingTest, FaultAtAnyCommandNeverPrintsTwiceNorAnswersFalsely) {
    // Its fiscal part closes at "trend"; the footer lines follow it.
    const Document withFooter{"/printer/print",
                              footerSale,
                              "END RECEIPT",
                              "true",
                              {"trend:1", "trftrln:1", "trftrln:2", "trftrend:1"}};
    const char* const faults[] = {"--drop-answer", "--close-before", "--close-after",
                                  "--damage-answer"};
    size_t walked = 0;
    for (const Document* document : {&keyedReceipt, &keyedReport, &withFooter, &keyedCash}) {
        for (const char* command : document->commands) {
            const bool closing = command == document->commands.back();
            for (const char* fault : faults) {
                for (const bool restart :
                     closing ? std::vector<bool>{false, true} : std::vector<bool>{false}) {
                    SCOPED_TRACE(std::string(fault) + " " + command + (restart ? " restart" : ""));
                    ++walked;
                    VirtualPrinterProcess printer({fault, command});
                    configure(printer);
                    auto service = std::make_unique<RunningService>();
                    if (!document->sale) {
                        // A report needs a sale since the last one.
                        ASSERT_EQ(service->post("/printer/print", sale).body, "true");
                    }
                    const size_t before = occurrences(printer.journal(), document->end);
                    bool saidPrinted = false;
                    for (int attempt = 0; attempt < 2; ++attempt) {
                        if (attempt == 1 && restart) {
                            service = std::make_unique<RunningService>();
                        }
                        const std::string key =
                            "Idempotency-Key: walk-" + std::to_string(walked) + "\r\n";
                        const HttpAnswer answer = sendDocument(*service, *document, key);
                        const size_t printed =
                            occurrences(printer.journal(), document->end) - before;
                        const Json::Value body = parseJson(answer.body);
                        const bool unknown = body.isObject() && body["outcome"] == "unknown";
                        saidPrinted = saidPrinted || answer.status == 200;
                        EXPECT_LE(printed, 1u);
                        if (!unknown) {
                            EXPECT_EQ(printed, answer.status == 200 ? 1u : 0u)
                                << answer.status << " " << answer.body;
                        }
                        if (answer.status == 200) {
                            EXPECT_EQ(answer.body, document->done);
                        }
                    }
                    if (saidPrinted) {
                        EXPECT_EQ(occurrences(printer.journal(), document->end) - before, 1u);
                    }
                }
            }
        }
    }
    EXPECT_EQ(walked, 64u);
}

// A document whose closing answer went with a printer switched off is "unknown" until the
// printer is back; once a connection has settled it, its key's retry is answered as done.
TEST_F(PrintingTest, DocumentLeftUnknownIsAnsweredDoneOnceThePrinterIsBack) {
    for (const Document* document : {&keyedReceipt, &keyedCash, &keyedReport}) {
        const std::string closing = document->commands.back();
        SCOPED_TRACE(closing);
        VirtualPrinterProcess printer({"--switch-off-after", closing});
        configure(printer);
        RunningService service;
        if (!document->sale) {
            ASSERT_EQ(service.post("/printer/print", sale).body, "true");
        }
        const std::string key = "Idempotency-Key: left-at-" + closing + "\r\n";

        const HttpAnswer unknown = sendDocument(service, *document, key);
        printer.switchOn();
        EXPECT_EQ(service.get("/config/is_connected").body, "true");
        const HttpAnswer done = sendDocument(service, *document, key);

        EXPECT_EQ(unknown.status, 500);
        EXPECT_EQ(parseJson(unknown.body)["outcome"], "unknown") << unknown.body;
        EXPECT_EQ(done.status, 200);
        EXPECT_EQ(done.body, document->done);
        EXPECT_EQ(occurrences(printer.journal(), document->end), 1u);
    }
}

TEST_F(PrintingTest, IdempotencyKeyPrintsOnceAcrossRetriesAndRestarts) {
    // The first attempt is refused: nothing was printed, so the key's retry prints.
    VirtualPrinterProcess printer({"--refuse", "trline:1:2000"});
    configure(printer);
    const std::string key = "Idempotency-Key: \"sale-7\"\r\n";
    {
        RunningService service;
        EXPECT_EQ(service.post("/printer/print", twoLineSale, key).status, 500);
        EXPECT_EQ(service.post("/printer/print", twoLineSale, key).body, "true");
        EXPECT_EQ(service.post("/printer/print", twoLineSale, key).body, "true");
        EXPECT_EQ(service.post("/printer/print", sale, key).status, 422);
    }
    RunningService restarted;
    EXPECT_EQ(restarted.post("/printer/print", twoLineSale, key).body, "true");
    // The same key without its quotes is the same key.
    EXPECT_EQ(restarted.post("/printer/print", twoLineSale, "Idempotency-Key: sale-7\r\n").body,
              "true");
    EXPECT_EQ(restarted.post("/printer/print", twoLineSale, "Idempotency-Key: \r\n").status, 400);

    EXPECT_EQ(occurrences(printer.journal(), "END RECEIPT"), 1u);
    EXPECT_EQ(occurrences(printer.journal(), "END CANCELLED RECEIPT"), 1u);
}

// The fingerprint the program keeps for a sale posted to /printer/print.
std::string saleFingerprint(const char* body) {
    const std::string request = "POST /printer/print\n" + Json::FastWriter().write(parseJson(body));
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(request.data(), request.size(), digest, &length, EVP_sha256(), nullptr);
    std::string fingerprint;
    for (unsigned int i = 0; i < length; ++i) {
        fingerprint += "0123456789abcdef"[digest[i] >> 4];
        fingerprint += "0123456789abcdef"[digest[i] & 15];
    }
    return fingerprint;
}

// A key file as an earlier version of the program wrote it, with keys for twoLineSale.
void writeKeyFile(const boost::filesystem::path& folder, const std::vector<std::string>& keys,
                  const std::string& state, std::time_t time, const std::string& rest) {
    boost::filesystem::create_directories(folder);
    boost::filesystem::ofstream file(folder / "idempotency.json");
    file << R"({"requests": {)";
    for (const std::string& key : keys) {
        file << (&key == &keys.front() ? "\"" : ", \"") << key << R"(": {"fingerprint": ")"
             << saleFingerprint(twoLineSale) << R"(", "state": ")" << state << R"(", "time": )"
             << time << rest << "}";
    }
    file << "}}";
}

const char* const receiptStarted =
    R"(, "document": {"kind": "receipt", "since": "2026-12-09T08:00:00Z", "completed": 0,
        "cancelled": 0})";

// The record of twoLineSale that a crash right after "trend" leaves: the sale printed as the
// program prints it, its closing token and the counter read before it.
std::string printedBeforeCrash(const VirtualPrinterProcess& printer) {
    const Receipt receipt = PrinterTypes::FiscalReceipt(parseJson(twoLineSale)).forPrinter(true);
    PosnetClient till(printer.port());
    std::string completed;
    for (const auto& [name, value] : till.run("scnt").values) {
        completed = name == "bn" ? value : completed;
    }
    till.run("trinit", "bm,1");
    for (const ReceiptLine& line : receipt.lines) {
        till.run("trline", buildLineParameters(line));
    }
    till.run("trpayment", buildPaymentParameters(receipt.payments.front()));
    uint32_t token = 0;
    EXPECT_EQ(till.run("trend", buildEndParameters(receipt), POSNET_WAIT_LIMIT_MS, &token).status,
              0);
    return R"(, "completedAnswer": true, "document": {"kind": "receipt", "since": "x", )"
           R"("completed": )" +
           completed + R"(, "token": )" + std::to_string(token) + "}";
}

// A keyed sale prints only once its key's record is on the disk, and its retry is answered
// from that record whatever became of the program, the clock, the disk or the file.
TEST_F(PrintingTest, KeyedSaleIsAnsweredFromItsRecordOnTheDisk) {
    struct Request {
        std::string key; // empty: posted without one
        int status;
        bool unknown; // "outcome": "unknown" in the answer
    };
    struct Case {
        const char* name;
        std::function<void(const boost::filesystem::path& folder,
                           const VirtualPrinterProcess& printer)>
            before;
        std::vector<Request> requests;
        size_t receipts;
    };
    const std::time_t now = std::time(nullptr);
    const auto limitFileSize = [](rlim_t size) {
        const rlimit limit{size, RLIM_INFINITY};
        setrlimit(RLIMIT_FSIZE, &limit);
    };
    signal(SIGXFSZ, SIG_IGN);
    // Old keys beyond the newest 10,000 are pruned every 64 requests: the oldest 64 go, and a
    // key just behind them is still answered.
    std::vector<std::string> aged;
    for (int key = 1; key <= 10000; ++key) {
        aged.push_back("old-" + std::string(5 - std::to_string(key).size(), '0') +
                       std::to_string(key));
    }
    std::vector<Request> daysSales;
    for (int sale = 1; sale <= 64; ++sale) {
        daysSales.push_back({"new-" + std::to_string(sale), 200, false});
    }
    daysSales.push_back({aged[64], 200, false});
    const Case cases[] = {
        {"crash before the closing command, nothing printed since",
         [&](const auto& folder, const auto&) {
             writeKeyFile(folder, {"sale-9"}, "started", now, receiptStarted);
         },
         {{"sale-9", 200, false}, {"sale-9", 200, false}},
         1},
        {"crash after the closing command ran",
         [&](const auto& folder, const auto& printer) {
             writeKeyFile(folder, {"sale-2"}, "started", now, printedBeforeCrash(printer));
         },
         {{"sale-2", 200, false}, {"sale-2", 200, false}},
         1},
        {"crash, then another till's sale moved the counter by one",
         [&](const auto& folder, const auto&) {
             EXPECT_EQ(RunningService().post("/printer/print", sale).status, 200);
             writeKeyFile(folder, {"sale-9"}, "started", now, receiptStarted);
         },
         {{"sale-9", 500, true}, {"sale-9", 500, true}},
         1},
        {"crash, then another till printed a sale and opened its next",
         [&](const auto& folder, const auto& printer) {
             EXPECT_EQ(RunningService().post("/printer/print", sale).status, 200);
             writeKeyFile(folder, {"sale-9"}, "started", now, receiptStarted);
             PosnetClient(printer.port()).run("trinit", "bm,1");
         },
         {{"sale-9", 500, true}},
         1},
        {"crash, then the counter went backwards",
         [&](const auto& folder, const auto&) {
             writeKeyFile(folder, {"sale-9"}, "started", now,
                          R"(, "document": {"kind": "receipt", "since": "x", "completed": 5})");
         },
         {{"sale-9", 500, true}},
         0},
        {"sale printed while the clock was 3 days behind",
         [&](const auto& folder, const auto&) {
             writeKeyFile(folder, {"sale-3"}, "finished", now - 3 * 24 * 60 * 60,
                          R"(, "answer": true)");
         },
         {{"sale-4", 200, false}, {"sale-3", 200, false}},
         1},
        {"a day's 10,000 keys and more, all dated 3 days back",
         [&](const auto& folder, const auto&) {
             writeKeyFile(folder, aged, "finished", now - 3 * 24 * 60 * 60, R"(, "answer": true)");
         },
         daysSales, 64},
        {"damaged key database",
         [](const auto& folder, const auto&) {
             boost::filesystem::create_directories(folder);
             boost::filesystem::ofstream(folder / "idempotency.sqlite")
                 << "SQLite format 3" << std::string(200, '\x7f') << "sale-8"
                 << "\x01\x02";
         },
         {{"sale-8", 500, true}, {"sale-7", 200, false}},
         1},
        {"damaged key file of an earlier version",
         [](const auto& folder, const auto&) {
             boost::filesystem::create_directories(folder);
             boost::filesystem::ofstream(folder / "idempotency.json")
                 << R"({"requests": {"sale-8": {"fingerprint": ")";
         },
         {{"sale-8", 500, true}, {"sale-7", 200, false}},
         1},
        {"data folder where the keys cannot be written",
         [](const auto& folder, const auto&) {
             boost::filesystem::create_directories(folder / "idempotency.sqlite");
         },
         {{"sale-6", 500, false}, {"", 200, false}},
         1},
        {"full data folder",
         [&](const auto&, const auto&) { limitFileSize(0); },
         {{"sale-5", 500, false}},
         0},
    };
    for (const Case& each : cases) {
        SCOPED_TRACE(each.name);
        ServiceTestEnvironment fresh;
        VirtualPrinterProcess printer;
        Json::Value file = parseJson(configurationFile(printer.port(), 1));
        fresh.writeConfiguration(Json::FastWriter().write(file));
        each.before(fresh.folder(), printer);
        RunningService service;
        for (const Request& request : each.requests) {
            const std::string header =
                request.key.empty() ? "" : "Idempotency-Key: " + request.key + "\r\n";
            const HttpAnswer answer = service.post("/printer/print", twoLineSale, header);
            EXPECT_EQ(answer.status, request.status) << answer.body;
            const Json::Value body = parseJson(answer.body);
            EXPECT_EQ(body.isObject() && body["outcome"] == "unknown", request.unknown)
                << answer.body;
            if (answer.status == 200) {
                EXPECT_EQ(answer.body, "true");
            }
        }
        limitFileSize(RLIM_INFINITY);
        EXPECT_EQ(occurrences(printer.journal(), "END RECEIPT"), each.receipts);
        // Settling cancels only a receipt the evidence names as the unfinished sale.
        EXPECT_EQ(occurrences(printer.journal(), "CANCELLED RECEIPT"), 0);
        // A damaged file moved aside is named by the time it was moved.
        for (const auto& entry : boost::filesystem::directory_iterator(fresh.folder())) {
            const std::string name = entry.path().filename().string();
            if (name.rfind("idempotency.damaged-", 0) == 0) {
                EXPECT_TRUE(std::regex_match(
                    name, std::regex(R"(idempotency\.damaged-\d{8}T\d{6}Z\.(sqlite|json))")))
                    << name;
            }
        }
    }
}

TEST_F(PrintingTest, StatusAnswersNamedWithTheImmediateMarkAreTaken) {
    VirtualPrinterProcess printer({"--immediate-names"});
    configure(printer);
    RunningService service;

    EXPECT_TRUE(service.connected());
    EXPECT_EQ(service.post("/printer/print", twoLineSale).body, "true");
}

// A sale of `lines` lines named "`name` 1", "`name` 2"...
std::string saleOf(int lines, const std::string& name) {
    Json::Value sale = parseJson(R"({"FiscalPrinterPaymentId": 0, "Items": []})");
    sale["GrossTotal"] = lines;
    for (int line = 1; line <= lines; ++line) {
        Json::Value item = parseJson(R"({"ProductCurrencyGrossPrice": 1, "GrossValue": 1,
                                         "FiscalPrinterVatRateType": 0})");
        item["ProductName"] = name + " " + std::to_string(line);
        sale["Items"].append(item);
    }
    return Json::FastWriter().write(sale);
}

// Polls "/status" until `shows` holds for it; false when it never does.
template <typename Shows> bool statusShows(RunningService& service, Shows shows) {
    for (int attempt = 0; attempt < 1000; ++attempt) {
        if (shows(parseJson(service.get("/status").body))) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// A slow printer (10 lines a second): while it prints, the page and "/status" are answered
// and say so, and the printer's requests wait their turn, printed each once in order; the
// same key sent again meanwhile waits for the first and gets its answer.
TEST_F(PrintingTest, PrinterRequestsWaitTheirTurnWhilePageAndStatusAnswer) {
    VirtualPrinterProcess printer({"--print-speed", "10"});
    configure(printer);
    RunningService service;
    const std::string key = "Idempotency-Key: sale-9\r\n";
    auto send = [&](const std::string& body, const std::string& headers = "") {
        return std::async(std::launch::async, [&, body, headers] {
            return service.post("/printer/print", body, headers);
        });
    };

    auto first = send(saleOf(20, "Pierwszy"), key);
    ASSERT_TRUE(statusShows(service, [](const Json::Value& status) {
        return status["busy"]["operation"] == "receipt" && status["waiting"] == 0;
    }));
    EXPECT_EQ(service.get("/").status, 200);
    auto second = send(saleOf(2, "Drugi"));
    auto repeat = send(saleOf(20, "Pierwszy"), key);
    ASSERT_TRUE(statusShows(service, [](const Json::Value& status) {
        return status["waiting"] == 2 && !status["busy"]["since"].asString().empty();
    }));

    for (auto* answer : {&first, &second, &repeat}) {
        EXPECT_EQ(answer->get().body, "true");
    }
    const std::string journal = printer.journal();
    EXPECT_EQ(occurrences(journal, "END RECEIPT"), 2u);
    EXPECT_LT(journal.find("Pierwszy 20"), journal.find("Drugi 1"));
    EXPECT_EQ(countLines(log, "info : Idempotency-Key sale-9: answered as the first request; "
                              "nothing printed"),
              1u);
    EXPECT_TRUE(statusShows(service, [](const Json::Value& status) {
        return status["busy"].isNull() && status["waiting"] == 0;
    }));
}

// More printer requests than may wait are answered 503 at once, never left hanging.
TEST_F(PrintingTest, RequestBeyondTheWaitingBoundIsAnswered503) {
    VirtualPrinterProcess printer({"--print-speed", "10"});
    configure(printer);
    RunningService service;
    auto receipt = std::async(std::launch::async,
                              [&] { return service.post("/printer/print", saleOf(30, "Towar")); });
    for (int attempt = 0; attempt < 1000 && !log.contains("info : Printing fiscal receipt.");
         ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::vector<std::future<HttpAnswer>> waiting;
    for (std::size_t request = 0; request < FiscalPrinterBase::maxWaitingOperations; ++request) {
        waiting.push_back(std::async(std::launch::async,
                                     [&] { return service.get("/printer/get_vat_mapping"); }));
    }
    ASSERT_TRUE(statusShows(service, [](const Json::Value& status) {
        return status["waiting"].asUInt64() == FiscalPrinterBase::maxWaitingOperations;
    }));

    const HttpAnswer refused = service.get("/config/is_connected_active");

    EXPECT_EQ(refused.status, 503);
    EXPECT_EQ(refused.header("Retry-After"), "5");
    EXPECT_EQ(parseJson(refused.body)["exception"],
              "The printer is busy: 8 requests are waiting for it; try again later");
    EXPECT_EQ(receipt.get().body, "true");
    for (auto& answer : waiting) {
        EXPECT_EQ(answer.get().status, 200);
    }
}

} // namespace
