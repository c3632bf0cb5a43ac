#include "service/fiscal_printer_base.h"
#include <boost/log/trivial.hpp>

bool FiscalPrinterBase::isConfigured() {
    std::lock_guard<std::mutex> lock(publishedMutex);
    return configuredIn(published.configuration);
}

bool FiscalPrinterBase::hasConfiguredPort() {
    return configuredIn(configuration) && !configuration.data.port.empty();
}

// Reconnects every time it is asked, so that the answer reflects the printer as it is now.
bool FiscalPrinterBase::isConnected() {
    if (hasConfiguredPort()) {
        return connect(configuration.data.port);
    }
    return false;
}

bool FiscalPrinterBase::isConnectedActive() {
    if (hasConfiguredPort()) {
        return connect(configuration.data.port);
    }
    if (!printer.connected()) {
        return false;
    }
    runTransaction("sid", "");
    return true;
}

void FiscalPrinterBase::reload() {
    BOOST_LOG_TRIVIAL(info) << "Reload (disconnect and connect)";
    disconnect();
    connectIfConfigured();
}

void FiscalPrinterBase::connectIfConfigured() {
    if (!configuredIn(configuration)) {
        return;
    }
    try {
        connect(configuration.data.port);
    } catch (...) {
        // An unreachable printer is not an error here: the service stays disconnected, which
        // the state and the connection questions show, and the library's failure is logged.
    }
}
