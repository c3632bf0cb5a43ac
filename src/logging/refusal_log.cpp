#include "logging/refusal_log.h"

#include <boost/log/trivial.hpp>

namespace {

const std::string furtherCallers = "requests and connections of further callers";

} // namespace

RefusalLog::RefusalLog(std::size_t bytesPerDay) : budget(bytesPerDay) {}

void RefusalLog::refuse(const std::string& caller, const std::string& line, Clock::time_point now) {
    forgetQuiet(now);
    const bool room = callers.size() < callersTracked || callers.count(caller) > 0;
    const auto entry = callers.find(room ? caller : furtherCallers);
    if (entry != callers.end()) {
        ++entry->second.unwritten;
        return;
    }
    callers.emplace(room ? caller : furtherCallers, Caller{now});
    write(line, false, now);
}

std::optional<RefusalLog::Clock::time_point> RefusalLog::writeDue(Clock::time_point now) {
    std::optional<Clock::time_point> next;
    for (auto& [caller, entry] : callers) {
        if (entry.unwritten == 0) {
            continue;
        }
        const Clock::time_point due = entry.lastLine + interval;
        if (due <= now) {
            writeCount(caller, entry, now);
        } else if (!next || due < *next) {
            next = due;
        }
    }
    return next;
}

void RefusalLog::writeAll() {
    for (auto& [caller, entry] : callers) {
        if (entry.unwritten > 0) {
            writeCount(caller, entry, Clock::now());
        }
    }
}

void RefusalLog::forgetQuiet(Clock::time_point now) {
    for (auto entry = callers.begin(); entry != callers.end();) {
        const bool quiet = entry->second.unwritten == 0 && entry->second.lastLine + interval <= now;
        entry = quiet ? callers.erase(entry) : std::next(entry);
    }
}

void RefusalLog::writeCount(const std::string& caller, Caller& entry, Clock::time_point now) {
    write("Since the last line about them, refused " + std::to_string(entry.unwritten) +
              " more: " + caller,
          true, now);
    entry.unwritten = 0;
    entry.lastLine = now;
}

void RefusalLog::write(const std::string& line, bool count, Clock::time_point now) {
    if (!budgetStart || now - *budgetStart >= budgetPeriod) {
        budgetStart = now;
        spent = 0;
    }
    if (spent > budget) {
        return;
    }
    spent += line.size();
    if (spent > budget) {
        BOOST_LOG_TRIVIAL(warning)
            << "The log's budget of " << budget
            << " bytes a day for lines that callers can cause is spent: such lines are left out "
               "for the rest of the day; the program's own lines and its requests' are still "
               "written";
        return;
    }
    if (count) {
        BOOST_LOG_TRIVIAL(warning) << line;
    } else {
        BOOST_LOG_TRIVIAL(error) << line;
    }
}
