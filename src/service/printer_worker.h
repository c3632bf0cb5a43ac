// The one thread that talks to the printer. The event loop hands it each printer operation
// and goes on serving; the worker runs them one at a time, in the order they were handed
// over, and each operation answers its own request when it ends.
#ifndef SERVICE_PRINTER_WORKER_H
#define SERVICE_PRINTER_WORKER_H

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

// An operation the worker could not take: too many wait already, or the program is ending.
// Answered 503 with "Retry-After".
class PrinterBusy : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class PrinterWorker {
public:
    // What the worker is doing: the operation under way and since when (UTC text), and how
    // many wait behind it.
    struct Activity {
        std::optional<std::string> operation;
        std::string since;
        std::size_t waiting = 0;
    };

    // At most `maxWaiting` operations wait behind the one under way.
    explicit PrinterWorker(std::size_t maxWaiting);
    // See finish().
    ~PrinterWorker();
    PrinterWorker(const PrinterWorker&) = delete;
    PrinterWorker& operator=(const PrinterWorker&) = delete;

    // Queues `run`, named `operation` while it runs; throws PrinterBusy when `maxWaiting`
    // operations wait already or the worker is finishing. `drop` is called instead of `run`
    // when the worker finishes before it came to it. Any thread.
    void submit(const std::string& operation, std::function<void()> run,
                std::function<void()> drop);
    // Runs `last` after the operation under way, drops those still waiting and ends the
    // thread; later operations are refused. Returns when the thread has ended; again at once.
    void finish(const std::function<void()>& last = [] {});

    Activity activity() const;

private:
    struct Job {
        std::string operation;
        std::function<void()> run;
        std::function<void()> drop;
        // The last job: the thread ends after it.
        bool ends = false;
    };

    void work();
    // Waits for the next job and marks it as under way.
    Job next();

    const std::size_t maxWaiting;
    mutable std::mutex mutex;
    std::condition_variable wakes;
    std::deque<Job> waiting;
    Activity current;
    bool finishing = false;
    std::thread thread;
};

#endif
