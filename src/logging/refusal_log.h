// Refusals as the log keeps them, and every other line that another party can cause
// (connections closed to make room, bodies refused). A page in the shop's browser can make
// hundreds of refused requests a second; written one by one, they would rotate the receipts'
// history out of the log folder within minutes, or fill the disk. So the first refusal of
// each caller is written in full, and after that at most one line a minute says how many more
// came; and such lines have a budget of bytes a day, past which one line says so and the rest
// of the day's are left out. The program's own lines and its requests' lines do not count.
#ifndef LOGGING_REFUSAL_LOG_H
#define LOGGING_REFUSAL_LOG_H

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <unordered_map>

class RefusalLog {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds interval{60};
    // Callers told apart at once; refusals of any further caller are counted together, so
    // that a page rotating through names of its own cannot write a full line for each.
    static constexpr std::size_t callersTracked = 32;
    static constexpr std::chrono::hours budgetPeriod{24};

    // `bytesPerDay`: what such lines may take of the log in a day.
    explicit RefusalLog(std::size_t bytesPerDay = 4 * 1024 * 1024);

    // `caller` names who was refused, as a count's line ends with it ("..., refused 5 more:
    // requests from the origin https://evil.example"); `line` is the full text.
    void refuse(const std::string& caller, const std::string& line, Clock::time_point now);
    // Writes the counts due by `now`; returns when the next one falls due, none while no
    // count waits.
    std::optional<Clock::time_point> writeDue(Clock::time_point now);
    // Writes every count still waiting, as the program ends.
    void writeAll();

private:
    struct Caller {
        Clock::time_point lastLine;
        std::size_t unwritten = 0;
    };

    // Forgets the callers that have been quiet for a whole interval since their last line.
    void forgetQuiet(Clock::time_point now);
    void writeCount(const std::string& caller, Caller& entry, Clock::time_point now);
    // Writes the line unless the day's budget is spent.
    void write(const std::string& line, bool count, Clock::time_point now);

    std::unordered_map<std::string, Caller> callers;
    const std::size_t budget;
    std::optional<Clock::time_point> budgetStart;
    std::size_t spent = 0;
};

#endif
