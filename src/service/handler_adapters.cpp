#include "service/handler_adapters.h"
#include "service/web_application.h"
#include <utility>

using Request = std::shared_ptr<RestRequest>;
using Response = std::shared_ptr<RestResponse>;

RouteHandler adapt(std::function<PrinterTypes::SerialPortList()> operation) {
    return [operation](Request, Response response) {
        const PrinterTypes::SerialPortList ports = operation();
        response->json = Json::Value(Json::arrayValue);
        for (const std::string& port : ports) {
            response->json.append(port);
        }
    };
}

RouteHandler adapt(std::function<bool(std::string)> operation) {
    return [operation](Request request, Response response) {
        if (!request->body.isString()) {
            throw HttpException(400, "Bad Request");
        }
        response->json = operation(request->body.asString());
    };
}

RouteHandler adapt(std::function<void()> operation) {
    return [operation](Request, Response) { operation(); };
}

RouteHandler adapt(std::function<bool(PrinterTypes::FiscalReceipt)> operation) {
    return [operation](Request request, Response response) {
        response->json = operation(PrinterTypes::FiscalReceipt(*request));
    };
}

RouteHandler adapt(std::function<std::string()> operation) {
    return [operation](Request, Response response) { response->json = operation(); };
}

RouteHandler adapt(std::function<bool()> operation) {
    return [operation](Request, Response response) { response->json = operation(); };
}

RouteHandler adapt(std::function<ConfigurationData()> operation) {
    return [operation](Request, Response response) {
        response->json = configurationToJson(operation());
    };
}

RouteHandler adapt(std::function<void(ConfigurationData)> operation) {
    return
        [operation](Request request, Response) { operation(configurationFromRequest(*request)); };
}

RouteHandler adapt(std::function<PrinterTypes::VatMapping()> operation) {
    return [operation](Request, Response response) {
        const PrinterTypes::VatMapping rates = operation();
        response->json = Json::Value(Json::objectValue);
        response->json["va"] = rates.va;
        response->json["vb"] = rates.vb;
        response->json["vc"] = rates.vc;
        response->json["vd"] = rates.vd;
        response->json["ve"] = rates.ve;
        response->json["vf"] = rates.vf;
        response->json["vg"] = rates.vg;
    };
}

RouteHandler adapt(std::function<Redirect()> operation) {
    return [operation](Request, Response response) {
        operation();
        response->httpResponse->status = 302;
        response->httpResponse->statusText = "Found";
        response->httpResponse->headers["Location"] = configurationPageAddress();
    };
}

RouteHandler adapt(std::function<Json::Value()> operation) {
    return [operation](Request, Response response) { response->json = operation(); };
}

RouteHandler adapt(std::function<bool(PrinterTypes::CashRequest)> operation) {
    return [operation](Request request, Response response) {
        response->json = operation(PrinterTypes::CashRequest(*request));
    };
}

// {"amount":123.45}, written out: the JSON writer gives a double all its binary digits
// (123.45000000000000284).
RouteHandler adapt(std::function<PrinterTypes::CashState()> operation) {
    return [operation](Request, Response response) {
        response->setDocument("application/json",
                              "{\"amount\":" + PrinterTypes::decimalText(operation().amount) + "}");
    };
}

RouteHandler adapt(std::function<PrinterInfo()> operation) {
    return [operation](Request, Response response) {
        const PrinterInfo info = operation();
        response->json = Json::Value(Json::objectValue);
        response->json["model"] = info.model;
        response->json["firmware"] = info.firmware;
        response->json["uniqueNumber"] = info.uniqueNumber;
        response->json["fiscal"] = info.fiscal;
    };
}
