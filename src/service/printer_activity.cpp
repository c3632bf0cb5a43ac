#include "service/printer_activity.h"
#include "platform/local_time.h"
#include "service/posnet_exception.h"

void PrinterActivity::commandCompleted() {
    lastCompleted_ = platform::utcTimestampNow();
}

// Shown as the refusal's answer names it.
void PrinterActivity::commandRefused(const PosnetError& refusal) {
    lastRefusal_ = PosnetException(refusal).body["exception"];
    lastRefusal_["time"] = platform::utcTimestampNow();
}
