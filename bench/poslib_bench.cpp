// One receipt of 100 lines through the open printer library to the virtual printer: how fast
// the library and the printer's protocol handling are, next to what a 9600-baud line allows.
#include "poslib/frame.h"
#include "poslib/request.h"
#include "support/posnet_client.h"
#include "support/virtual_printer_process.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int kLines = 100;
constexpr int kRounds = 5;
// 8N1: a start bit, eight data bits and a stop bit for every byte.
constexpr double kBytesPerSecondAt9600 = 9600.0 / 10.0;

using Command = std::pair<std::string, std::string>;

std::vector<Command> receipt() {
    std::vector<Command> commands = {{"trinit", "bm,1"}};
    for (int line = 1; line <= kLines; ++line) {
        commands.push_back({"trline", "na,Chleb \xBFytni krojony nr " + std::to_string(line) +
                                          "\njm,szt\nil,1.00\npr,1234\nvt,0\nwa,1234"});
    }
    const std::string total = std::to_string(1234 * kLines);
    commands.push_back({"trpayment", "ty,0\nwa," + total});
    commands.push_back({"trend", "fp," + total + "\nto," + total});
    return commands;
}

// Bytes on the line: each command's frame and its answer (a plain success frame), both
// carrying the command's token.
std::size_t lineBytes(const std::vector<Command>& commands) {
    std::size_t bytes = 0;
    for (const auto& [command, parameters] : commands) {
        const poslib::Request request(command, parameters);
        bytes += request.frame().size();
        bytes += poslib::encodeFrame(command + poslib::tab + request.token() + poslib::tab).size();
    }
    return bytes;
}

double printReceipt(PosnetClient& client, const std::vector<Command>& commands) {
    const auto start = std::chrono::steady_clock::now();
    for (const auto& [command, parameters] : commands) {
        if (client.run(command, parameters).status != 0) {
            std::fprintf(stderr, "%s failed\n", command.c_str());
            std::exit(1);
        }
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void measure(VirtualPrinterProcess::Line line, const char* name) {
    VirtualPrinterProcess printer({}, line);
    PosnetClient client(printer.port());
    if (!client.opened()) {
        std::fprintf(stderr, "cannot open %s\n", printer.port().c_str());
        std::exit(1);
    }
    const std::vector<Command> commands = receipt();
    std::vector<double> seconds;
    for (int round = 0; round < kRounds; ++round) {
        seconds.push_back(printReceipt(client, commands));
    }
    std::sort(seconds.begin(), seconds.end());
    const double median = seconds[seconds.size() / 2];
    const std::size_t bytes = lineBytes(commands);
    const double lineSeconds = static_cast<double>(bytes) / kBytesPerSecondAt9600;
    std::printf("%s: %zu commands per receipt, median %.4f s of %d receipts (best %.4f s)\n", name,
                commands.size(), median, kRounds, seconds.front());
    std::printf("  %.0f commands/s; %zu bytes on the line per receipt\n",
                static_cast<double>(commands.size()) / median, bytes);
    std::printf("  a 9600-baud line needs %.2f s for those bytes (%.0f commands/s at most):"
                " the library and the printer take %.1f%% of that\n",
                lineSeconds, static_cast<double>(commands.size()) / lineSeconds,
                100.0 * median / lineSeconds);
}

} // namespace

int main() {
    measure(VirtualPrinterProcess::Line::PseudoTerminal, "pseudo-terminal");
    measure(VirtualPrinterProcess::Line::Tcp, "TCP");
    return 0;
}
