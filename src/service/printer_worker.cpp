#include "service/printer_worker.h"
#include "platform/local_time.h"
#include <boost/log/trivial.hpp>
#include <exception>

PrinterWorker::PrinterWorker(std::size_t maxWaiting)
    : maxWaiting(maxWaiting), thread([this] { work(); }) {}

PrinterWorker::~PrinterWorker() {
    finish();
}

void PrinterWorker::submit(const std::string& operation, std::function<void()> run,
                           std::function<void()> drop) {
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (finishing) {
            throw PrinterBusy("The program is ending; it takes no more printer work");
        }
        if (waiting.size() >= maxWaiting) {
            throw PrinterBusy("The printer is busy: " + std::to_string(waiting.size()) +
                              " requests are waiting for it; try again later");
        }
        waiting.push_back(Job{operation, std::move(run), std::move(drop)});
    }
    wakes.notify_one();
}

void PrinterWorker::finish(const std::function<void()>& last) {
    std::deque<Job> dropped;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (finishing) {
            return;
        }
        finishing = true;
        dropped.swap(waiting);
        waiting.push_back(Job{"closing", last, [] {}, true});
    }
    wakes.notify_one();
    for (const Job& job : dropped) {
        job.drop();
    }
    thread.join();
}

PrinterWorker::Activity PrinterWorker::activity() const {
    std::lock_guard<std::mutex> lock(mutex);
    Activity now = current;
    now.waiting = waiting.size();
    return now;
}

void PrinterWorker::work() {
    for (;;) {
        const Job job = next();
        try {
            job.run();
        } catch (const std::exception& failure) {
            // Each operation answers its own failures; one that escapes must not end the
            // thread that every later operation needs.
            BOOST_LOG_TRIVIAL(error)
                << "Printer operation " << job.operation << " failed: " << failure.what();
        }
        if (job.ends) {
            return;
        }
    }
}

PrinterWorker::Job PrinterWorker::next() {
    std::unique_lock<std::mutex> lock(mutex);
    current.operation.reset();
    wakes.wait(lock, [this] { return !waiting.empty(); });
    Job job = std::move(waiting.front());
    waiting.pop_front();
    current.operation = job.operation;
    current.since = platform::utcTimestampNow();
    return job;
}
