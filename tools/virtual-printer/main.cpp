// virtual-printer: a simulated Posnet fiscal printer; see helpText() for what it does.
#include "endpoint.h"
#include "options.h"
#include "printer_loop.h"

#include <csignal>
#include <cstdio>
#include <iostream>
#include <sys/signalfd.h>
#include <unistd.h>

using namespace virtual_printer;

namespace {

// SIGINT and SIGTERM arrive as a readable descriptor, so the loop ends between two frames
// and the endpoint's destructor removes the pty link; so does SIGUSR1, which switches the
// printer on again.
int loopSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGUSR1);
    sigprocmask(SIG_BLOCK, &signals, nullptr);
    return ::signalfd(-1, &signals, SFD_CLOEXEC);
}

int serve(const Options& options) {
    const int signalFd = loopSignals();
    // A reader of the ready line may have gone; writing to it must not end the printer.
    std::signal(SIGPIPE, SIG_IGN);
    FiscalPrinter printer(options.setup, Journal(options.journalPath));
    Session session(printer, options.faults, options.immediateNames);
    const std::unique_ptr<Endpoint> endpoint =
        options.tcpPort ? listenTcp(*options.tcpPort) : openPseudoTerminal(options.ptyPath);
    std::printf("virtual-printer listening on %s\n", endpoint->portText().c_str());
    std::fflush(stdout);
    PrinterLoop(*endpoint, session, options.delay, options.speed, options.queueLimit).run(signalFd);
    ::close(signalFd);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    try {
        options = parseOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::invalid_argument& error) {
        std::cerr << "virtual-printer: " << error.what() << "\nTry virtual-printer --help\n";
        return 2;
    }
    if (options.help) {
        std::cout << helpText();
        return 0;
    }
    try {
        return serve(options);
    } catch (const std::exception& error) {
        std::cerr << "virtual-printer: " << error.what() << "\n";
        return 1;
    }
}
