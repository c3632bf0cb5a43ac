// What the printer last did, for the program's own page: when it last carried out a command
// and what it last refused.
#ifndef SERVICE_PRINTER_ACTIVITY_H
#define SERVICE_PRINTER_ACTIVITY_H

#include "posnet/printer_errors.h"
#include <json/value.h>

class PrinterActivity {
public:
    void commandCompleted();
    void commandRefused(const PosnetError& refusal);

    // The time of the last completed command, as UTC text; null before the first.
    const Json::Value& lastCompleted() const { return completedAt; }
    // {"code", "message", "description", "time"} of the last refusal; null before the first.
    const Json::Value& lastRefusal() const { return refusalRecord; }

private:
    Json::Value completedAt;
    Json::Value refusalRecord;
};

#endif
