// The keys of a sale beyond its lines and single payment (discounts, deposits, several
// payments, footer lines), and the slips of the till's cash.
#include "poslib/sale_limits.h"
#include "rest/rest_request.h"
#include "service/printer_types.h"
#include <functional>
#include <limits>
#include <numeric>

namespace PrinterTypes {
namespace {

using namespace sale_limit;

constexpr std::size_t mostPayments = 8;

template <typename Record>
using ElementReader = std::function<Record(const Json::Value& element, const std::string& prefix)>;

// An array of objects under `key`, from `least` to `most` of them; absent or null reads as none.
template <typename Record>
void readList(const Json::Value& body, const char* key, std::size_t least, std::size_t most,
              const ElementReader<Record>& read, Field<std::vector<Record>>& out) {
    if (!given(body, key)) {
        return;
    }
    const Json::Value& list = *member(body, key);
    const std::string name(key);
    if (!list.isArray()) {
        throw badRequest("value " + name + " is not an array");
    }
    if (list.size() < least) {
        throw badRequest("value " + name + " has no entries");
    }
    if (list.size() > most) {
        throw badRequest("value " + name + " has more than " + std::to_string(most) + " entries");
    }
    for (Json::ArrayIndex index = 0; index < list.size(); ++index) {
        const std::string element = name + "[" + std::to_string(index) + "]";
        if (!list[index].isObject()) {
            throw badRequest("value " + element + " is not an object");
        }
        out.value.push_back(read(list[index], element + "."));
    }
    out.present = true;
}

::Deposit readDeposit(const Json::Value& element, const std::string& prefix) {
    ::Deposit deposit;
    const Json::Value* number = member(element, "Number");
    if (number == nullptr || !number->isString()) {
        throw missing(prefix + "Number");
    }
    deposit.number = number->asString();
    if (deposit.number.empty() || deposit.number.size() > longestDepositNumber ||
        deposit.number.find_first_not_of("0123456789") != std::string::npos) {
        throw badRequest("value " + prefix + "Number is not 1 to 11 digits");
    }
    const Json::Value* quantity = member(element, "Quantity");
    if (quantity == nullptr || !quantity->isInt()) {
        throw missing(prefix + "Quantity");
    }
    deposit.quantity = quantity->asInt64();
    if (deposit.quantity < 1) {
        throw badRequest("value " + prefix + "Quantity is lower than 1");
    }
    Field<int64_t> price;
    requireScaled(element, "Price", hundredths, price, prefix);
    checkAmount(price.value, 1, largestScaledValue / deposit.quantity, prefix + "Price");
    deposit.price = price.value;
    deposit.returned = optionalBool(element, "Returned", false);
    deposit.description = optionalText(element, "Description", longestDescription);
    return deposit;
}

::Payment readPayment(const Json::Value& element, const std::string& prefix) {
    Field<int64_t> form;
    requireInteger(element, "FiscalPrinterPaymentId", largestPaymentId, form, prefix);
    Field<int64_t> amount;
    requireScaled(element, "Amount", hundredths, amount, prefix);
    checkAmount(amount.value, 1, largestScaledValue, prefix + "Amount");
    return {form.value, amount.value};
}

FooterLine readFooterLine(const Json::Value& element, const std::string& prefix) {
    FooterLine line;
    const Json::Value* kind = member(element, "Kind");
    if (kind != nullptr && kind->isString()) {
        const std::string name = kind->asString();
        if (name == "OrderNumber") {
            line.kind = FooterLine::Kind::OrderNumber;
        } else if (name == "Customer") {
            line.kind = FooterLine::Kind::Customer;
        } else if (name != "Text") {
            throw badRequest("value " + prefix + "Kind is not one of Text, OrderNumber, Customer");
        }
    }
    Field<std::string> text;
    requireNonEmptyText(element, "Text", longestFooterText, text, prefix);
    line.text = text.value;
    return line;
}

::Discount readDiscount(const Json::Value& value, const std::string& name) {
    if (!value.isObject()) {
        throw badRequest("value " + name + " is not an object");
    }
    Field<int64_t> percent;
    Field<int64_t> amount;
    optionalScaled(value, "Percent", hundredths, percent, name + ".");
    optionalScaled(value, "Amount", hundredths, amount, name + ".");
    if (percent.present == amount.present) {
        throw badRequest(percent.present ? "value " + name + " has both Percent and Amount"
                                         : "required value " + name + ".Percent or " + name +
                                               ".Amount does not exist");
    }
    ::Discount discount;
    if (percent.present) {
        checkAmount(percent.value, 1, largestPercent, name + ".Percent");
        discount.percent = percent.value;
    } else {
        checkAmount(amount.value, 1, largestScaledValue, name + ".Amount");
        discount.amount = amount.value;
    }
    discount.markup = optionalBool(value, "Markup", false);
    discount.name = optionalText(value, "Name", longestShortName);
    return discount;
}

// What a discount or markup changes its base by, when the program can tell: a percent is
// worked out by the printer with its own method and rounding.
std::optional<int64_t> exactChange(const Field<::Discount>& discount) {
    if (!discount.present) {
        return 0;
    }
    if (discount.value.percent) {
        return std::nullopt;
    }
    return discount.value.markup ? *discount.value.amount : -*discount.value.amount;
}

} // namespace

void FiscalReceiptItem::readSaleKeys(const Json::Value& element, const std::string& prefix) {
    if (given(element, "Discount")) {
        Discount = {readDiscount(*member(element, "Discount"), prefix + "Discount"), true};
        if (Discount.value.amount) {
            checkAmount(*Discount.value.amount, 1, GrossValue.value - 1,
                        prefix + "Discount.Amount");
        }
    }
    optionalText(element, "Description", longestDescription, Description);
}

void FiscalReceipt::readSaleKeys(const Json::Value& body) {
    if (given(body, "Discount")) {
        Discount = {readDiscount(*member(body, "Discount"), "Discount"), true};
    }
    readList<::Deposit>(body, "Deposits", 0, std::numeric_limits<std::size_t>::max(), readDeposit,
                        Deposits);
    // The payments must cover the sale, so there is at least one.
    readList<::Payment>(body, "Payments", 1, mostPayments, readPayment, Payments);
    readList<FooterLine>(body, "FooterLines", 0, mostFooterLines, readFooterLine, FooterLines);
}

bool FiscalReceipt::usesSaleKeys() const {
    return Discount.present || Deposits.present || Payments.present || FooterLines.present ||
           std::any_of(Items.value.begin(), Items.value.end(), [](const FiscalReceiptItem& item) {
               return item.Discount.present || item.Description.present;
           });
}

// The lines after their discounts and the receipt's discount, plus deposits taken, less
// deposits returned, when no percent leaves the sum to the printer; the payments must cover
// GrossTotal, each of them needed.
void FiscalReceipt::checkSums() const {
    std::optional<int64_t> lines = 0;
    for (const FiscalReceiptItem& item : Items.value) {
        const std::optional<int64_t> change = exactChange(item.Discount);
        lines = lines && change ? std::optional<int64_t>(*lines + item.GrossValue.value + *change)
                                : std::nullopt;
    }
    if (lines && Discount.present && Discount.value.amount) {
        checkAmount(*Discount.value.amount, 1, *lines - 1, "Discount.Amount");
    }
    int64_t deposits = 0;
    for (const ::Deposit& deposit : Deposits.value) {
        deposits += (deposit.returned ? -1 : 1) * deposit.price * deposit.quantity;
    }
    const std::optional<int64_t> change = exactChange(Discount);
    if (lines && change) {
        const int64_t payable = *lines + *change + deposits;
        checkAmount(GrossTotal.value, payable, payable, "GrossTotal");
    } else {
        checkAmount(GrossTotal.value, deposits + 1, largestScaledValue, "GrossTotal");
    }
    if (!Payments.present) {
        return;
    }
    int64_t paid = 0;
    for (std::size_t index = 0; index < Payments.value.size(); ++index) {
        if (paid >= GrossTotal.value) {
            throw badRequest("value Payments[" + std::to_string(index) +
                             "] is not needed: the payments before it cover " +
                             decimalText(GrossTotal.value));
        }
        paid += Payments.value[index].amount;
    }
    checkAmount(paid, GrossTotal.value, largestScaledValue, "Payments");
}

CashRequest::CashRequest(const RestRequest& request) : CashRequest(request.body) {}

CashRequest::CashRequest(const Json::Value& body) {
    requireScaled(body, "Amount", hundredths, Amount);
    checkAmount(Amount.value, 1, largestScaledValue, "Amount");
    const Json::Value* direction = member(body, "Direction");
    if (direction == nullptr || !direction->isString()) {
        throw missing("Direction");
    }
    if (direction->asString() != "In" && direction->asString() != "Out") {
        throw badRequest("value Direction is not one of In, Out");
    }
    In = {direction->asString() == "In", true};
}

CashMovement CashRequest::forPrinter() const {
    return {Amount.value, In.value};
}

} // namespace PrinterTypes
