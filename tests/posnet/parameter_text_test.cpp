#include "posnet/parameter_text.h"

#include <gtest/gtest.h>

namespace {

PrinterTypes::FiscalReceiptItem breadLine() {
    PrinterTypes::FiscalReceiptItem item;
    item.ProductName = {"Chleb \xBFytni", true};
    item.ProductUnitOfMeasurment = {"szt", true};
    item.Quantity = {10050, true};
    item.ProductCurrencyGrossPrice = {1234, true};
    item.FiscalPrinterVatRateType = {2, true};
    item.GrossValue = {1240, true};
    return item;
}

PrinterTypes::FiscalReceipt receiptOf(int64_t total, int64_t paymentId) {
    PrinterTypes::FiscalReceipt receipt;
    receipt.GrossTotal = {total, true};
    receipt.FiscalPrinterPaymentId = {paymentId, true};
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
    PrinterTypes::FiscalReceiptItem item = breadLine();
    item.Quantity = {};
    EXPECT_EQ(buildLineParameters(item),
              "na,Chleb \xBFytni\njm,szt\nil,1.00\npr,1234\nvt,2\nwa,1240");
}

TEST(LineParameters, LineWithoutUnitNamesNoUnit) {
    PrinterTypes::FiscalReceiptItem item = breadLine();
    item.ProductUnitOfMeasurment = {};
    EXPECT_EQ(buildLineParameters(item), "na,Chleb \xBFytni\nil,1.0050\npr,1234\nvt,2\nwa,1240");
}

TEST(PaymentParameters, PaymentFormThenTotalInHundredths) {
    EXPECT_EQ(buildPaymentParameters(receiptOf(1234, 0)), "ty,0\nwa,1234");
    EXPECT_EQ(buildPaymentParameters(receiptOf(9999999999, 8)), "ty,8\nwa,9999999999");
}

TEST(EndParameters, BothTotalsAreTheReceiptTotal) {
    EXPECT_EQ(buildEndParameters(receiptOf(1234, 2)), "fp,1234\nto,1234");
}
