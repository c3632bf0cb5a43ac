// The virtual printer's command line, parsed and as a process.
#include "support/temporary_folder.h"
#include "tools/virtual-printer/line_timing.h"
#include "tools/virtual-printer/options.h"

#include <array>
#include <cstdio>
#include <gtest/gtest.h>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>

using namespace virtual_printer;

namespace {

Options parse(std::vector<std::string> arguments) {
    return parseOptions(arguments);
}

std::vector<std::string> words(const std::string& text) {
    std::istringstream stream(text);
    return {std::istream_iterator<std::string>(stream), std::istream_iterator<std::string>()};
}

struct ProgramRun {
    int exitCode;
    std::string output;
};

ProgramRun runPrinter(const std::string& arguments) {
    const std::string command = std::string(VIRTUAL_PRINTER_EXECUTABLE) + " " + arguments + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    std::string output;
    std::array<char, 512> buffer;
    while (std::fgets(buffer.data(), buffer.size(), pipe) != nullptr) {
        output += buffer.data();
    }
    const int status = ::pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

} // namespace

TEST(Options, ReadTheLineAndThePrinterSettings) {
    const Options options = parse({"--pty", "/tmp/p", "--journal", "j.txt", "--vat",
                                   "23,8,5.5,0,100,101,7.25", "--date", "2024-03-07"});
    EXPECT_EQ(options.ptyPath, "/tmp/p");
    EXPECT_FALSE(options.tcpPort.has_value());
    EXPECT_EQ(options.journalPath, "j.txt");
    EXPECT_EQ(options.setup.vatRates,
              (std::array<int, vatRateCount>{2300, 800, 550, 0, 10000, 10100, 725}));
    EXPECT_EQ(options.setup.date, "2024-03-07");
}

TEST(Options, ReadTheFaults) {
    const Options options =
        parse(words("--tcp 0 --refuse trline:2:2000 --refuse trend:1:2805 --mechanism-status 5 "
                    "--device-status 3 --silent-after 4 --chatter-after 2 --delay 250 "
                    "--drop-answer trend:3 --close-after dailyrep:1 --immediate-names "
                    "--close-before trline:2 --damage-answer scnt:1 --switch-off-after cash:2 "
                    "--baud 9600 --print-speed 25"));
    EXPECT_EQ(options.tcpPort, 0);
    ASSERT_EQ(options.faults.refusals.size(), 2u);
    EXPECT_EQ(options.faults.refusals[0].command, "trline");
    EXPECT_EQ(options.faults.refusals[0].occurrence, 2);
    EXPECT_EQ(options.faults.refusals[0].number, 2000);
    EXPECT_EQ(options.setup.mechanismStatus, 5);
    EXPECT_EQ(options.setup.deviceStatus, 3);
    EXPECT_EQ(options.faults.silentAfter, 4);
    EXPECT_EQ(options.faults.chatterAfter, 2);
    EXPECT_EQ(options.delay.count(), 250);
    ASSERT_EQ(options.faults.droppedAnswers.size() + options.faults.closesAfter.size(), 2u);
    EXPECT_EQ(options.faults.droppedAnswers[0].occurrence, 3);
    EXPECT_EQ(options.faults.closesAfter[0].command, "dailyrep");
    ASSERT_EQ(options.faults.closesBefore.size() + options.faults.damagedAnswers.size(), 2u);
    EXPECT_EQ(options.faults.closesBefore[0].occurrence, 2);
    EXPECT_EQ(options.faults.damagedAnswers[0].command, "scnt");
    ASSERT_EQ(options.faults.switchesOff.size(), 1u);
    EXPECT_EQ(options.faults.switchesOff[0].occurrence, 2);
    EXPECT_TRUE(options.immediateNames);
    EXPECT_EQ(options.speed.baud, 9600);
    EXPECT_EQ(options.speed.linesPerSecond, 25);
}

TEST(Options, NeedExactlyOneLine) {
    EXPECT_THROW(parse({}), std::invalid_argument);
    EXPECT_THROW(parse({"--pty", "/tmp/p", "--tcp", "0"}), std::invalid_argument);
}

TEST(Options, RefuseBadValues) {
    const std::vector<std::vector<std::string>> bad = {
        {"--tcp", "65536"},
        {"--tcp", "99999999999"},
        {"--tcp", "x"},
        {"--tcp"},
        {"--tcp", "0", "--vat", "23,8,5,0,100,101"},
        {"--tcp", "0", "--vat", "23,8,5,0,100,101,102"},
        {"--tcp", "0", "--vat", "23,8,5,0,100,101,1.234"},
        {"--tcp", "0", "--refuse", "trline:0:2000"},
        {"--tcp", "0", "--refuse", "trline:2"},
        {"--tcp", "0", "--drop-answer", "trend"},
        {"--pty", "/tmp/p", "--close-after", "trend:1"},
        {"--pty", "/tmp/p", "--close-before", "trend:1"},
        {"--pty", "/tmp/p", "--switch-off-after", "trend:1"},
        {"--tcp", "0", "--damage-answer", "trend"},
        {"--tcp", "0", "--date", "2024-13-01"},
        {"--tcp", "0", "--date", "07.03.2024"},
        {"--tcp", "0", "--date", "2024-03-07-01"},
        {"--tcp", "0", "--delay", "-1"},
        {"--tcp", "0", "--baud", "0"},
        {"--tcp", "0", "--print-speed", "0"},
        {"--tcp", "0", "--queue-limit", "0"},
        {"--tcp", "0", "--colour"},
    };
    for (const auto& arguments : bad) {
        EXPECT_THROW(parse(arguments), std::invalid_argument)
            << ::testing::PrintToString(arguments);
    }
}

TEST(PrinterProgram, DocumentsEveryOptionInItsHelp) {
    const ProgramRun help = runPrinter("--help");
    EXPECT_EQ(help.exitCode, 0);
    for (const std::string& option :
         words("--pty --tcp --journal --vat --date --refuse --mechanism-status --device-status "
               "--silent-after --chatter-after --delay --drop-answer --close-after --close-before "
               "--damage-answer --switch-off-after --baud "
               "--print-speed --queue-limit "
               "--immediate-names rpt strns scnt stot 382 1992 2000 2005 2006 2007 2008 2009 2010 "
               "2038 2041 2054 2104 2705 2805 2808")) {
        EXPECT_NE(help.output.find(option), std::string::npos) << option;
    }
    for (const char* phrase : {"virtual-printer listening on", "rounded half up to the grosz"}) {
        EXPECT_NE(help.output.find(phrase), std::string::npos) << phrase;
    }
}

TEST(PrinterProgram, ExplainsAWrongCommandLine) {
    const ProgramRun wrong = runPrinter("--tcp 0 --colour red");
    EXPECT_EQ(wrong.exitCode, 2);
    EXPECT_NE(wrong.output.find("unknown option \"--colour\""), std::string::npos) << wrong.output;
}

TEST(PrinterProgram, RefusesToReplaceAFileWithItsLink) {
    TemporaryFolder folder;
    const std::string file = (folder.path() / "printer").string();
    std::fclose(std::fopen(file.c_str(), "w"));
    const ProgramRun refused = runPrinter("--pty " + file);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.output.find("not a symbolic link"), std::string::npos) << refused.output;
}

// Ten bits a byte at 1000 baud: 10 ms a byte each way; 20 lines a second: 50 ms a sale line.
TEST(LineTiming, CostsEachDirectionAndTheMechanismOnTheirOwn) {
    using std::chrono::milliseconds;
    LineTiming timing(LineSpeed{1000, 20});
    const LineTiming::Clock::time_point start{};
    LineTiming::Clock::time_point lastByte;
    for (int byte = 0; byte < 3; ++byte) {
        lastByte = timing.received(start);
    }
    EXPECT_EQ(lastByte - start, milliseconds(30));
    EXPECT_EQ(timing.executed("trline", lastByte) - start, milliseconds(80));
    EXPECT_EQ(timing.executed("!sdev", lastByte) - start, milliseconds(30));
    EXPECT_EQ(timing.executed("trend", lastByte) - start, milliseconds(80));
    EXPECT_EQ(timing.sent(2, start + milliseconds(80)) - start, milliseconds(100));
    // The next answer waits for the line, while bytes keep coming in meanwhile.
    EXPECT_EQ(timing.sent(1, start + milliseconds(90)) - start, milliseconds(110));
    EXPECT_EQ(timing.received(start + milliseconds(35)) - start, milliseconds(45));
}
