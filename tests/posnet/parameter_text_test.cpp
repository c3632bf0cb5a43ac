#include "posnet/parameter_text.h"

#include <gtest/gtest.h>

namespace {

ReceiptLine breadLine() {
    ReceiptLine line;
    line.name = "Chleb \xBFytni";
    line.unit = "szt";
    line.quantity = 10050;
    line.price = 1234;
    line.vatRate = 2;
    line.value = 1240;
    return line;
}

Receipt receiptOf(int64_t total, int64_t paymentId) {
    Receipt receipt;
    receipt.total = total;
    receipt.payments = {{paymentId, total}};
    return receipt;
}

} // namespace

TEST(FormatQuantity, WholeAndHalfUnitsHaveTwoDecimalPlaces) {
    EXPECT_EQ(formatQuantity(10000), "1.00");
    EXPECT_EQ(formatQuantity(15000), "1.50");
    EXPECT_EQ(formatQuantity(250000), "25.00");
    EXPECT_EQ(formatQuantity(0), "0.00");
}

TEST(FormatQuantity, FinerFractionsHaveFourDecimalPlaces) {
    EXPECT_EQ(formatQuantity(12345), "1.2345");
    EXPECT_EQ(formatQuantity(10500), "1.0500");
    EXPECT_EQ(formatQuantity(10050), "1.0050");
    EXPECT_EQ(formatQuantity(1), "0.0001");
}

TEST(FormatQuantity, LargestQuantityKeepsAllDigits) {
    EXPECT_EQ(formatQuantity(9999999999), "999999.9999");
}

TEST(BuildParameterString, EntriesFollowNameOrderNotInsertionOrder) {
    std::map<std::string, std::string> entries;
    entries["wa"] = "1";
    entries["ty"] = "2";
    EXPECT_EQ(buildParameterString(entries), "ty,2\nwa,1");
}

TEST(BuildParameterString, NoLineFeedAfterTheLastEntry) {
    EXPECT_EQ(buildParameterString({{"ty", "0"}}), "ty,0");
}

TEST(BuildParameterString, EmptyMapGivesEmptyText) {
    EXPECT_EQ(buildParameterString({}), "");
}

TEST(LineParameters, SixEntriesInFixedOrder) {
    EXPECT_EQ(buildLineParameters(breadLine()),
              "na,Chleb \xBFytni\njm,szt\nil,1.0050\npr,1234\nvt,2\nwa,1240");
}

TEST(LineParameters, LineWithoutQuantitySellsOneUnit) {
    ReceiptLine item = breadLine();
    item.quantity.reset();
    EXPECT_EQ(buildLineParameters(item),
              "na,Chleb \xBFytni\njm,szt\nil,1.00\npr,1234\nvt,2\nwa,1240");
}

TEST(LineParameters, LineWithoutUnitNamesNoUnit) {
    ReceiptLine item = breadLine();
    item.unit.clear();
    EXPECT_EQ(buildLineParameters(item), "na,Chleb \xBFytni\nil,1.0050\npr,1234\nvt,2\nwa,1240");
}

TEST(PaymentParameters, PaymentFormThenTotalInHundredths) {
    EXPECT_EQ(buildPaymentParameters({0, 1234}), "ty,0\nwa,1234");
    EXPECT_EQ(buildPaymentParameters({8, 9999999999}), "ty,8\nwa,9999999999");
    EXPECT_EQ(buildPaymentParameters({0, 300}, true), "re,1\nty,0\nwa,300");
}

TEST(EndParameters, BothTotalsAreTheReceiptTotal) {
    EXPECT_EQ(buildEndParameters(receiptOf(1234, 2)), "fp,1234\nto,1234");
}

// The texts of a sale's discounts, deposits, payments with change and footer lines.
TEST(SaleParameters, EachKeyBecomesThePrintersEntries) {
    ReceiptLine line = breadLine();
    line.discount = Discount{true, std::nullopt, 150, "Promocja"};
    line.description = "Opis";
    EXPECT_EQ(buildLineParameters(line), "na,Chleb \xBFytni\njm,szt\nil,1.0050\npr,1234\nvt,2\n"
                                         "wa,1240\nop,Opis\nrd,0\nrn,Promocja\nrw,150");
    EXPECT_EQ(buildReceiptDiscountParameters({false, 1050, std::nullopt, ""}), "rp,1050");
    EXPECT_EQ(buildReceiptDiscountParameters({true, std::nullopt, 5, "Z"}), "na,Z\nrd,0\nrw,5");
    EXPECT_EQ(buildDepositParameters({"12", 6, 50, false, ""}), "il,6\nna,12\npr,50");
    EXPECT_EQ(buildDepositParameters({"1", 2, 50, true, "PET"}), "de,PET\nil,2\nna,1\nne,1\npr,50");
    EXPECT_EQ(buildFooterLineParameters({FooterLine::Kind::OrderNumber, "Z/1"}), "id,13\nna,Z/1");
    EXPECT_EQ(buildFooterLineParameters({FooterLine::Kind::Customer, "Jan"}), "id,35\nna,Jan");
    EXPECT_EQ(buildFooterLineParameters({FooterLine::Kind::Text, "Dzi"}), "id,25\nna,Dzi");

    struct Case {
        std::vector<Payment> payments;
        std::vector<Deposit> deposits;
        bool footer;
        const char* end;
        bool changeLine;
    };
    const Case cases[] = {
        {{{2, 500}}, {}, false, "fp,500\nre,300\nto,200", true},
        {{{2, 100}, {0, 400}}, {}, true, "fe,0\nfp,500\nto,200", false},
        {{{0, 200}},
         {{"1", 2, 50, false, ""}, {"2", 1, 150, true, ""}},
         false,
         "fp,200\nom,150\nop,100\nto,250",
         false},
    };
    for (const Case& each : cases) {
        Receipt receipt = receiptOf(200, 0);
        receipt.payments = each.payments;
        receipt.deposits = each.deposits;
        receipt.footer.resize(each.footer ? 1 : 0);
        EXPECT_EQ(buildEndParameters(receipt), each.end);
        EXPECT_EQ(changeSentAsLine(receipt), each.changeLine);
    }
}
