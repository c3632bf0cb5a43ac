#include "app/companion_run.h"

#include <condition_variable>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <thread>

struct CompanionRun::State {
    std::mutex mutex;
    std::condition_variable changed;
    bool ended = false;
    bool abandoned = false;
    platform::ProgramOutcome outcome;
    std::string error;
};

CompanionRun::CompanionRun(const std::string& program, const std::vector<std::string>& arguments)
    : state(std::make_shared<State>()) {
    std::thread([state = state, program, arguments] {
        platform::ProgramOutcome outcome;
        std::string error;
        try {
            outcome = platform::runAndWait(program, arguments);
        } catch (const std::exception& failure) {
            error = std::string("cannot run the companion: ") + failure.what();
        }
        const std::lock_guard<std::mutex> lock(state->mutex);
        state->outcome = outcome;
        state->error = error;
        state->ended = true;
        state->changed.notify_all();
    }).detach();
}

bool CompanionRun::waitFor(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(state->mutex);
    state->changed.wait_for(lock, limit, [this] { return state->ended || state->abandoned; });
    return state->ended;
}

platform::ProgramOutcome CompanionRun::outcome() const {
    const std::lock_guard<std::mutex> lock(state->mutex);
    if (!state->error.empty())
        throw std::runtime_error(state->error);
    return state->outcome;
}

void CompanionRun::abandon() {
    const std::lock_guard<std::mutex> lock(state->mutex);
    state->abandoned = true;
    state->changed.notify_all();
}
