#include "platform/tray.h"

#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <deque>
#include <iostream>
#include <mutex>
#include <semaphore.h>
#include <system_error>
#include <thread>

namespace platform {

namespace {

struct QueuedMessage {
    TrayWindow* window;
    unsigned message;
    std::uintptr_t wParam;
    std::intptr_t lParam;
};

// The queue of the thread that runs the message loop. A window of null carries the quit
// message, whose code travels in wParam.
class MessageQueue {
public:
    void push(const QueuedMessage& message) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            messages.push_back(message);
        }
        changed.notify_one();
    }

    QueuedMessage pop() {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [this] { return !messages.empty(); });
        QueuedMessage message = messages.front();
        messages.pop_front();
        return message;
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<QueuedMessage> messages;
};

// Never destroyed: the server thread may still post while static objects go away.
MessageQueue& messageQueue() {
    static MessageQueue* queue = new MessageQueue;
    return *queue;
}

sem_t terminationRequests;

// Only async-signal-safe work here; the watcher thread turns it into a message.
void onTerminationSignal(int) {
    sem_post(&terminationRequests);
}

// The window and command that a termination signal chooses; the last window asking wins.
// A signal that comes before any window asks is held until one does.
struct TerminationTarget {
    std::mutex mutex;
    TrayWindow* window = nullptr;
    unsigned command = 0;
    bool held = false;
};

TerminationTarget& terminationTarget() {
    static TerminationTarget* target = new TerminationTarget;
    return *target;
}

// sem_wait on a valid semaphore fails only when a signal interrupts it.
void waitForTerminationRequest() {
    while (sem_wait(&terminationRequests) != 0) {
    }
}

void watchTerminationRequests() {
    for (;;) {
        waitForTerminationRequest();
        TerminationTarget& target = terminationTarget();
        std::lock_guard<std::mutex> lock(target.mutex);
        if (target.window == nullptr)
            target.held = true;
        else
            target.window->post(WM_COMMAND, target.command, 0);
    }
}

void installTerminationHandler() {
    if (sem_init(&terminationRequests, 0, 0) != 0)
        throw std::system_error(errno, std::generic_category(), "sem_init");
    std::thread(watchTerminationRequests).detach();
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM})
        if (sigaction(signal, &action, nullptr) != 0)
            throw std::system_error(errno, std::generic_category(), "sigaction");
}

void installTerminationHandlerOnce() {
    static std::once_flag installed;
    std::call_once(installed, installTerminationHandler);
}

} // namespace

void takeOverProcessSignals() {
    // A write to a standard output whose reader has gone then fails with EPIPE, which leaves
    // std::cout failed and silent instead of ending the process.
    if (std::signal(SIGPIPE, SIG_IGN) == SIG_ERR)
        throw std::system_error(errno, std::generic_category(), "signal");
    installTerminationHandlerOnce();
}

TrayWindow::TrayWindow(WindowProcedure procedure) : procedure(procedure) {}

TrayWindow* TrayWindow::create(const std::string&, const std::string&, const Icon&,
                               WindowProcedure procedure) {
    return new TrayWindow(procedure);
}

void TrayWindow::post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    if (!destroyed)
        messageQueue().push({this, message, wParam, lParam});
}

long TrayWindow::send(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    if (destroyed)
        return 0;
    return procedure(this, message, wParam, lParam);
}

long TrayWindow::defaultProcedure(unsigned message, std::uintptr_t, std::intptr_t) {
    if (message == WM_CLOSE)
        destroy();
    return 0;
}

void TrayWindow::destroy() {
    if (destroyed.exchange(true))
        return;
    procedure(this, WM_DESTROY, 0, 0);
}

void TrayWindow::addIcon(unsigned, unsigned, const Icon& icon, const std::string& tip) {
    modifyIcon(icon, tip);
}

void TrayWindow::modifyIcon(const Icon& icon, const std::string& tip) {
    std::cout << tip << " [" << icon << "]" << std::endl;
}

void TrayWindow::showBalloon(const std::string& title, const std::string& text) {
    std::cout << title << ": " << text << std::endl;
}

void TrayWindow::removeIcon() {}

unsigned TrayWindow::trackMenu(const std::vector<MenuItem>&, unsigned) {
    return 0;
}

void TrayWindow::chooseOnTerminationSignal(unsigned command) {
    installTerminationHandlerOnce();
    TerminationTarget& target = terminationTarget();
    std::lock_guard<std::mutex> lock(target.mutex);
    target.window = this;
    target.command = command;
    if (target.held) {
        target.held = false;
        post(WM_COMMAND, command, 0);
    }
}

Icon loadIcon(int, const std::string& words) {
    return words;
}

void postQuit(int exitCode) {
    messageQueue().push({nullptr, 0, static_cast<std::uintptr_t>(exitCode), 0});
}

int runMessageLoop() {
    for (;;) {
        const QueuedMessage message = messageQueue().pop();
        if (message.window == nullptr)
            return static_cast<int>(message.wParam);
        message.window->send(message.message, message.wParam, message.lParam);
    }
}

} // namespace platform
