#include "service/printer_activity.h"
#include "platform/local_time.h"
#include "rest/rest_exception.h"

void PrinterActivity::commandCompleted() {
    lastCompleted_ = platform::utcTimestampNow();
}

void PrinterActivity::commandRefused(const RestException& refusal) {
    lastRefusal_ = refusal.body["exception"];
    lastRefusal_["time"] = platform::utcTimestampNow();
}
