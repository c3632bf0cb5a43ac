#include "service/configuration.h"

Json::Value configurationToJson(const ConfigurationData& configuration) {
    Json::Value json(Json::objectValue);
    json["port"] = configuration.port;
    json["selectedPrinter"] = configuration.selectedPrinter;
    json["questionBeforeFiscalization"] = configuration.questionBeforeFiscalization;
    json["printInvoicesOnFiscalPrinter"] = configuration.printInvoicesOnFiscalPrinter;
    json["dontPrintNipOnFiscalPrinter"] = configuration.dontPrintNipOnFiscalPrinter;
    json["isValid"] = configuration.isValid;
    json["vatMappingForNoObligation"] = configuration.vatMappingForNoObligation;
    json["paymentMapping"] = configuration.paymentMapping;
    return json;
}

ConfigurationData configurationFromRequest(const RestRequest& request) {
    const Json::Value& body = request.body;
    ConfigurationData configuration;
    configuration.paymentMapping = Json::Value();
    requireString(body, "port", configuration.port);
    requireInt(body, "selectedPrinter", configuration.selectedPrinter);
    requireBool(body, "questionBeforeFiscalization", configuration.questionBeforeFiscalization);
    requireBool(body, "printInvoicesOnFiscalPrinter", configuration.printInvoicesOnFiscalPrinter);
    requireBool(body, "dontPrintNipOnFiscalPrinter", configuration.dontPrintNipOnFiscalPrinter);
    // The last three keys are optional: a missing or mistyped one keeps its default.
    if (body["isValid"].isBool()) {
        configuration.isValid = body["isValid"].asBool();
    }
    if (body["vatMappingForNoObligation"].isInt()) {
        configuration.vatMappingForNoObligation = body["vatMappingForNoObligation"].asInt();
    }
    if (body["paymentMapping"].isArray()) {
        configuration.paymentMapping = body["paymentMapping"];
    }
    return configuration;
}
