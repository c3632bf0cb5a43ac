#include "posnet/parameter_text.h"
#include "rest/rest_exception.h"
#include "service/printer_types.h"

#include <gtest/gtest.h>
#include <json/value.h>
#include <limits>
#include <stdexcept>
#include <string>

using PrinterTypes::FiscalReceipt;
using PrinterTypes::FiscalReceiptItem;

namespace {

Json::Value breadItem() {
    Json::Value item(Json::objectValue);
    item["ProductName"] = "Chleb";
    item["ProductUnitOfMeasurment"] = "szt";
    item["Quantity"] = 2;
    item["ProductCurrencyGrossPrice"] = 3.5;
    item["FiscalPrinterVatRateType"] = 0;
    item["GrossValue"] = 7;
    return item;
}

Json::Value saleOf(const Json::Value& item) {
    Json::Value body(Json::objectValue);
    body["GrossTotal"] = 7;
    body["FiscalPrinterPaymentId"] = 0;
    body["Items"] = Json::Value(Json::arrayValue);
    body["Items"].append(item);
    body["CustomerNip"] = "5260250274";
    return body;
}

Json::Value breadSale() {
    return saleOf(breadItem());
}

Json::Value saleWith(const char* key, const Json::Value& value) {
    Json::Value body = breadSale();
    body[key] = value;
    return body;
}

Json::Value saleWithItemField(const char* key, const Json::Value& value) {
    Json::Value item = breadItem();
    item[key] = value;
    return saleOf(item);
}

Json::Value saleWithoutItemField(const char* key) {
    Json::Value item = breadItem();
    item.removeMember(key);
    return saleOf(item);
}

// The body of the 400 answer the sale is refused with.
std::string refusal(const Json::Value& body) {
    try {
        FiscalReceipt receipt(body);
    } catch (const RestException& exception) {
        EXPECT_EQ(exception.status, 400);
        EXPECT_EQ(exception.message, "Bad Request");
        EXPECT_TRUE(exception.body.isString());
        return exception.body.asString();
    }
    ADD_FAILURE() << "the sale was accepted";
    return "";
}

FiscalReceiptItem firstItem(const Json::Value& body) {
    return FiscalReceipt(body).Items.value.at(0);
}

std::string nameOf(const char* utf8) {
    return firstItem(saleWithItemField("ProductName", utf8)).ProductName.value;
}

} // namespace

TEST(ReceiptDecimalScaling, NoiseOfTheMultiplicationIsAbsorbed) {
    EXPECT_EQ(FiscalReceipt(saleWith("GrossTotal", 19.99)).GrossTotal.value, 1999);
    EXPECT_EQ(FiscalReceipt(saleWith("GrossTotal", 0.29)).GrossTotal.value, 29);
    EXPECT_EQ(firstItem(saleWithItemField("Quantity", 1.005)).Quantity.value, 10050);
}

TEST(ReceiptDecimalScaling, DigitsBeyondTheUnitAreCutNotRounded) {
    EXPECT_EQ(FiscalReceipt(saleWith("GrossTotal", 12.345)).GrossTotal.value, 1234);
    EXPECT_EQ(FiscalReceipt(saleWith("GrossTotal", 0.009)).GrossTotal.value, 0);
    EXPECT_EQ(firstItem(saleWithItemField("Quantity", 1.23456)).Quantity.value, 12345);
}

TEST(ReceiptDecimalScaling, SmallNegativeTruncatesTowardZero) {
    EXPECT_EQ(FiscalReceipt(saleWith("GrossTotal", -0.004)).GrossTotal.value, 0);
}

TEST(ReceiptDecimalScaling, AmountsAndQuantityUseTheirOwnUnits) {
    const FiscalReceiptItem item = firstItem(breadSale());
    EXPECT_EQ(item.Quantity.value, 20000);
    EXPECT_EQ(item.ProductCurrencyGrossPrice.value, 350);
    EXPECT_EQ(item.GrossValue.value, 700);
    EXPECT_EQ(FiscalReceipt(breadSale()).GrossTotal.value, 700);
}

TEST(ReceiptBounds, NegativeAmountIsLowerThanZero) {
    EXPECT_EQ(refusal(saleWith("GrossTotal", -0.01)), "value GrossTotal is lower than 0");
    EXPECT_EQ(refusal(saleWithItemField("GrossValue", -5)), "value GrossValue is lower than 0");
}

TEST(ReceiptBounds, LargestAmountAndQuantityAreAccepted) {
    EXPECT_EQ(FiscalReceipt(saleWith("GrossTotal", 99999999.99)).GrossTotal.value, 9999999999);
    EXPECT_EQ(firstItem(saleWithItemField("Quantity", 999999.9999)).Quantity.value, 9999999999);
}

TEST(ReceiptBounds, AmountAboveTheLimitIsRefused) {
    EXPECT_EQ(refusal(saleWith("GrossTotal", 100000000)),
              "value GrossTotal is greater than 9999999999");
    EXPECT_EQ(refusal(saleWithItemField("ProductCurrencyGrossPrice", 100000000)),
              "value ProductCurrencyGrossPrice is greater than 9999999999");
}

TEST(ReceiptBounds, QuantityAboveTheLimitIsRefused) {
    EXPECT_EQ(refusal(saleWithItemField("Quantity", 1000000)),
              "value Quantity is greater than 9999999999");
}

TEST(ReceiptBounds, NegativeQuantityIsRefused) {
    EXPECT_EQ(refusal(saleWithItemField("Quantity", -1)), "value Quantity is lower than 0");
}

TEST(ReceiptBounds, PaymentFormUpToEight) {
    EXPECT_EQ(FiscalReceipt(saleWith("FiscalPrinterPaymentId", 8.0)).FiscalPrinterPaymentId.value,
              8);
    EXPECT_EQ(refusal(saleWith("FiscalPrinterPaymentId", 9)),
              "value FiscalPrinterPaymentId is greater than 8");
    EXPECT_EQ(refusal(saleWith("FiscalPrinterPaymentId", -1)),
              "value FiscalPrinterPaymentId is lower than 0");
}

TEST(ReceiptBounds, VatRateUpToSix) {
    EXPECT_EQ(
        firstItem(saleWithItemField("FiscalPrinterVatRateType", 6)).FiscalPrinterVatRateType.value,
        6);
    EXPECT_EQ(refusal(saleWithItemField("FiscalPrinterVatRateType", 7)),
              "value FiscalPrinterVatRateType is greater than 6");
}

TEST(ReceiptBounds, ValueBeyondSixtyFourBitsIsRefusedByItsSide) {
    EXPECT_EQ(refusal(saleWith("GrossTotal", 1e300)),
              "value GrossTotal is greater than 9999999999");
    EXPECT_EQ(refusal(saleWith("GrossTotal", -1e300)), "value GrossTotal is lower than 0");
    EXPECT_EQ(refusal(saleWithItemField("Quantity", 1e17)),
              "value Quantity is greater than 9999999999");
}

TEST(ReceiptBounds, NonFiniteValueIsRefused) {
    const double infinity = std::numeric_limits<double>::infinity();
    EXPECT_EQ(refusal(saleWith("GrossTotal", infinity)),
              "value GrossTotal is greater than 9999999999");
    EXPECT_EQ(refusal(saleWith("GrossTotal", -infinity)), "value GrossTotal is lower than 0");
    EXPECT_EQ(refusal(saleWith("GrossTotal", std::numeric_limits<double>::quiet_NaN())),
              "value GrossTotal is greater than 9999999999");
}

TEST(ReceiptFieldTypes, NumberGivenAsTextIsMissing) {
    EXPECT_EQ(refusal(saleWith("GrossTotal", "7.00")), "required value GrossTotal does not exist");
}

TEST(ReceiptFieldTypes, QuantityGivenAsTextCountsAsAbsent) {
    const FiscalReceiptItem item = firstItem(saleWithItemField("Quantity", "2"));
    EXPECT_FALSE(item.Quantity.present);
    EXPECT_EQ(buildLineParameters(item.forPrinter()),
              "na,Chleb\njm,szt\nil,1.00\npr,350\nvt,0\nwa,700");
}

TEST(ReceiptFieldTypes, IntegerFieldRefusesFractionsAndValuesBeyondThirtyTwoBits) {
    EXPECT_EQ(refusal(saleWith("FiscalPrinterPaymentId", 3.5)),
              "required value FiscalPrinterPaymentId does not exist");
    EXPECT_EQ(refusal(saleWith("FiscalPrinterPaymentId", 3000000000.0)),
              "required value FiscalPrinterPaymentId does not exist");
    EXPECT_EQ(refusal(saleWithItemField("FiscalPrinterVatRateType", "1")),
              "required value FiscalPrinterVatRateType does not exist");
}

TEST(ReceiptFieldTypes, EveryRequiredItemFieldIsRequired) {
    for (const char* key :
         {"ProductName", "ProductCurrencyGrossPrice", "FiscalPrinterVatRateType", "GrossValue"}) {
        EXPECT_EQ(refusal(saleWithoutItemField(key)),
                  std::string("required value ") + key + " does not exist");
    }
}

TEST(ReceiptFieldTypes, EmptyOrNonTextNameIsMissing) {
    EXPECT_EQ(refusal(saleWithItemField("ProductName", "")),
              "required value ProductName does not exist");
    EXPECT_EQ(refusal(saleWithItemField("ProductName", 12)),
              "required value ProductName does not exist");
}

TEST(ReceiptFieldTypes, OptionalTextsAbsentOrNotTextAreEmptyAndNotPresent) {
    const FiscalReceiptItem item = firstItem(saleWithItemField("ProductUnitOfMeasurment", 3));
    EXPECT_FALSE(item.ProductUnitOfMeasurment.present);
    EXPECT_EQ(item.ProductUnitOfMeasurment.value, "");
    const FiscalReceipt receipt(saleWith("CustomerNip", Json::Value(Json::objectValue)));
    EXPECT_FALSE(receipt.CustomerNip.present);
    EXPECT_EQ(receipt.CustomerNip.value, "");
}

TEST(ReceiptFieldTypes, ReadFieldsArePresent) {
    const FiscalReceipt receipt(breadSale());
    EXPECT_TRUE(receipt.GrossTotal.present);
    EXPECT_TRUE(receipt.FiscalPrinterPaymentId.present);
    EXPECT_TRUE(receipt.Items.present);
    EXPECT_TRUE(receipt.CustomerNip.present);
    const FiscalReceiptItem& item = receipt.Items.value.at(0);
    EXPECT_TRUE(item.ProductName.present);
    EXPECT_TRUE(item.ProductUnitOfMeasurment.present);
    EXPECT_TRUE(item.Quantity.present);
    EXPECT_TRUE(item.ProductCurrencyGrossPrice.present);
    EXPECT_TRUE(item.FiscalPrinterVatRateType.present);
    EXPECT_TRUE(item.GrossValue.present);
}

TEST(ReceiptItems, ItemsMustBeAnArray) {
    Json::Value body = breadSale();
    body.removeMember("Items");
    EXPECT_EQ(refusal(body), "Expected array [C]");
    EXPECT_EQ(refusal(saleWith("Items", breadItem())), "Expected array [C]");
}

TEST(ReceiptItems, EmptyArrayIsAccepted) {
    const FiscalReceipt receipt(saleWith("Items", Json::Value(Json::arrayValue)));
    EXPECT_TRUE(receipt.Items.present);
    EXPECT_TRUE(receipt.Items.value.empty());
}

TEST(ReceiptItems, ItemsKeepTheirArrayOrder) {
    Json::Value body = breadSale();
    Json::Value butter = breadItem();
    butter["ProductName"] = "Masło";
    body["Items"].append(butter);
    const FiscalReceipt receipt(body);
    ASSERT_EQ(receipt.Items.value.size(), 2u);
    EXPECT_EQ(receipt.Items.value[0].ProductName.value, "Chleb");
    EXPECT_EQ(receipt.Items.value[1].ProductName.value, "Mas\xB3o");
}

TEST(ReceiptTexts, PolishLettersBecomeWindows1250Bytes) {
    EXPECT_EQ(nameOf("Żółć gęś"), "\xAF\xF3\xB3\xE6 g\xEA\x9C");
}

TEST(ReceiptTexts, CharacterWithoutWindows1250FormIsReplaced) {
    EXPECT_EQ(nameOf("Herbata 茶"), "Herbata ?");
}

TEST(ReceiptTexts, NameIsCutToFortyBytes) {
    const std::string name = "Bardzo dluga nazwa towaru na paragonie 123456";
    ASSERT_EQ(name.size(), 45u);
    EXPECT_EQ(nameOf(name.c_str()), name.substr(0, 40));
}

TEST(ReceiptTexts, CutCountsCodePageBytesNotUtf8Bytes) {
    std::string polish;
    for (int count = 0; count < 45; ++count) {
        polish += "ż";
    }
    EXPECT_EQ(nameOf(polish.c_str()), std::string(40, '\xBF'));
}

TEST(ReceiptTexts, UnitIsCutToFourBytes) {
    EXPECT_EQ(
        firstItem(saleWithItemField("ProductUnitOfMeasurment", "kg")).ProductUnitOfMeasurment.value,
        "kg");
    EXPECT_EQ(firstItem(saleWithItemField("ProductUnitOfMeasurment", "opak."))
                  .ProductUnitOfMeasurment.value,
              "opak");
    EXPECT_EQ(firstItem(saleWithItemField("ProductUnitOfMeasurment", "sztuka"))
                  .ProductUnitOfMeasurment.value,
              "sztu");
}

TEST(ReceiptTexts, TaxNumberIsCutToTenBytes) {
    const FiscalReceipt receipt(saleWith("CustomerNip", "526-025-02-74"));
    EXPECT_TRUE(receipt.CustomerNip.present);
    EXPECT_EQ(receipt.CustomerNip.value, "526-025-02");
}

TEST(ReceiptTexts, ControlBytesBecomeSpaces) {
    EXPECT_EQ(nameOf("Chleb\nwa,1\tx\r"), "Chleb wa,1 x ");
    const Json::Value zeroInside(std::string("A\0B", 3));
    EXPECT_EQ(firstItem(saleWithItemField("ProductName", zeroInside)).ProductName.value, "A B");
    EXPECT_EQ(FiscalReceipt(saleWith("CustomerNip", "52\n60")).CustomerNip.value, "52 60");
}

TEST(ReceiptTexts, NameCannotInjectParametersIntoItsLine) {
    const FiscalReceiptItem item = firstItem(saleWithItemField("ProductName", "Chleb\nwa,1"));
    EXPECT_EQ(buildLineParameters(item.forPrinter()),
              "na,Chleb wa,1\njm,szt\nil,2.00\npr,350\nvt,0\nwa,700");
}

TEST(ReceiptReadOrder, GrossTotalIsReadBeforePaymentForm) {
    Json::Value body = saleWith("GrossTotal", -1);
    body["FiscalPrinterPaymentId"] = 9;
    EXPECT_EQ(refusal(body), "value GrossTotal is lower than 0");
}

TEST(ReceiptReadOrder, PaymentFormIsReadBeforeItems) {
    Json::Value body = saleWith("FiscalPrinterPaymentId", 9);
    body["Items"] = "none";
    EXPECT_EQ(refusal(body), "value FiscalPrinterPaymentId is greater than 8");
}

TEST(ReceiptReadOrder, ItemFieldsAreReadInTheirOrder) {
    Json::Value item = breadItem();
    item["ProductName"] = "";
    item["FiscalPrinterVatRateType"] = 7;
    EXPECT_EQ(refusal(saleOf(item)), "required value ProductName does not exist");
    item = breadItem();
    item["Quantity"] = 1e7;
    item.removeMember("ProductCurrencyGrossPrice");
    EXPECT_EQ(refusal(saleOf(item)), "value Quantity is greater than 9999999999");
    item = breadItem();
    item["FiscalPrinterVatRateType"] = 7;
    item["GrossValue"] = -1;
    EXPECT_EQ(refusal(saleOf(item)), "value FiscalPrinterVatRateType is greater than 6");
}

TEST(ReceiptReadOrder, ItemsAreReadInArrayOrder) {
    Json::Value body = saleOf(saleWithoutItemField("GrossValue")["Items"][0]);
    Json::Value unnamed = breadItem();
    unnamed.removeMember("ProductName");
    body["Items"].append(unnamed);
    EXPECT_EQ(refusal(body), "required value GrossValue does not exist");
}

TEST(ReceiptBodyKinds, NullBodyLacksGrossTotal) {
    EXPECT_EQ(refusal(Json::Value()), "required value GrossTotal does not exist");
}

TEST(ReceiptBodyKinds, NullItemLacksItsName) {
    EXPECT_EQ(refusal(saleOf(Json::Value())), "required value ProductName does not exist");
}

TEST(ReceiptBodyKinds, BodyNeitherObjectNorNullLacksGrossTotal) {
    for (const Json::Value& body :
         {Json::Value(Json::arrayValue), Json::Value("x"), Json::Value(5)}) {
        EXPECT_EQ(refusal(body), "required value GrossTotal does not exist");
    }
}

TEST(ReceiptBodyKinds, ItemNeitherObjectNorNullLacksItsName) {
    for (const Json::Value& element : {Json::Value("Chleb"), Json::Value(5)}) {
        EXPECT_EQ(refusal(saleOf(element)), "required value ProductName does not exist");
    }
}
