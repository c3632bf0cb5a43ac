// Between a route and its operation: take the request apart into the operation's argument,
// call the operation once, and turn its result into the response. One per signature.
#ifndef SERVICE_HANDLER_ADAPTERS_H
#define SERVICE_HANDLER_ADAPTERS_H

#include "rest/rest_router.h"
#include "service/configuration.h"
#include "service/printer_types.h"
#include <functional>
#include <string>

RouteHandler adapt(std::function<PrinterTypes::SerialPortList()> operation);
RouteHandler adapt(std::function<bool(std::string)> operation);
RouteHandler adapt(std::function<void()> operation);
RouteHandler adapt(std::function<bool(PrinterTypes::FiscalReceipt)> operation);
RouteHandler adapt(std::function<std::string()> operation);
RouteHandler adapt(std::function<bool()> operation);
RouteHandler adapt(std::function<ConfigurationData()> operation);
RouteHandler adapt(std::function<void(ConfigurationData)> operation);
RouteHandler adapt(std::function<PrinterTypes::VatMapping()> operation);
RouteHandler adapt(std::function<Redirect()> operation);
RouteHandler adapt(std::function<Json::Value()> operation);
RouteHandler adapt(std::function<bool(PrinterTypes::CashRequest)> operation);
RouteHandler adapt(std::function<PrinterTypes::CashState()> operation);
RouteHandler adapt(std::function<PrinterInfo()> operation);

#endif
