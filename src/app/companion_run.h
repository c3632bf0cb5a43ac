// A run of the certificate companion on a thread of its own that nobody joins: on Windows the
// companion may wait at the system's confirmation of a new authority for as long as nobody
// answers, and neither the server nor the program's end may wait for that.
#ifndef APP_COMPANION_RUN_H
#define APP_COMPANION_RUN_H

#include "platform/run_and_wait.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

class CompanionRun {
public:
    // Starts program with arguments; throws when no thread can be made for it.
    CompanionRun(const std::string& program, const std::vector<std::string>& arguments);

    // Waits until the run ended, limit passed or abandon() was called; whether it ended.
    bool waitFor(std::chrono::milliseconds limit);
    // Once it ended: what it wrote and its exit code. Throws what starting it threw.
    platform::ProgramOutcome outcome() const;
    // Every wait, also one under way, returns at once from now on.
    void abandon();

private:
    struct State;
    // Shared with the run's thread, which may outlive this object.
    std::shared_ptr<State> state;
};

#endif
