#include "logging/refusal_log.h"

#include <boost/log/trivial.hpp>

namespace {

const std::string furtherCallers = "requests and connections of further callers";

} // namespace

void RefusalLog::refuse(const std::string& caller, const std::string& line, Clock::time_point now) {
    forgetQuiet(now);
    const bool room = callers.size() < callersTracked || callers.count(caller) > 0;
    const auto entry = callers.find(room ? caller : furtherCallers);
    if (entry != callers.end()) {
        ++entry->second.unwritten;
        return;
    }
    callers.emplace(room ? caller : furtherCallers, Caller{now});
    BOOST_LOG_TRIVIAL(error) << line;
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
    BOOST_LOG_TRIVIAL(warning) << "Since the last line about them, refused " << entry.unwritten
                               << " more: " << caller;
    entry.unwritten = 0;
    entry.lastLine = now;
}
