#include "service/printer_activity.h"
#include "platform/local_time.h"
#include "service/posnet_exception.h"

void PrinterActivity::commandCompleted() {
    completedAt = platform::utcTimestampNow();
}

// Shown as the refusal's answer names it.
void PrinterActivity::commandRefused(const PosnetError& refusal) {
    refusalRecord = PosnetException(refusal).body["exception"];
    refusalRecord["time"] = platform::utcTimestampNow();
}
