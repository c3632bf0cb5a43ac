#include "service/printer_activity.h"
#include "rest/rest_exception.h"
#include <boost/date_time/posix_time/posix_time.hpp>

namespace {

// ISO 8601 in UTC, which the page shows in the reader's local time.
std::string now() {
    return boost::posix_time::to_iso_extended_string(
               boost::posix_time::second_clock::universal_time()) +
           "Z";
}

} // namespace

void PrinterActivity::commandCompleted() {
    lastCompleted_ = now();
}

void PrinterActivity::commandRefused(const RestException& refusal) {
    lastRefusal_ = refusal.body["exception"];
    lastRefusal_["time"] = now();
}
