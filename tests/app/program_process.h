// The built program run as a child process: in a given working folder, with given
// environment variables on top of this process's, its standard output and error collected.
//
//     ProgramProcess program(workFolder, {{"XDG_DATA_HOME", dataHome}});
//     ASSERT_TRUE(program.awaitOutputLine("Trivane Ledvik Drukarki fiskalne [drukarka
//     niepołączona]")); program.signal(SIGTERM); EXPECT_EQ(program.awaitExit(), 0);
//
// Waits give up after `processPatience`; that bound only keeps a broken program from hanging
// the test, it is not a speed requirement.
#ifndef TESTS_APP_PROGRAM_PROCESS_H
#define TESTS_APP_PROGRAM_PROCESS_H

#include <boost/filesystem/path.hpp>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>

constexpr std::chrono::seconds processPatience{60};

class ProgramProcess {
public:
    // Where the program's standard output goes: collected, or into a pipe whose reader has
    // gone (a closed console).
    enum class Output { Collected, ReaderGone };

    ProgramProcess(const boost::filesystem::path& workFolder,
                   const std::map<std::string, std::string>& environment,
                   Output output = Output::Collected);
    // Kills the program if it still runs.
    ~ProgramProcess();
    ProgramProcess(const ProgramProcess&) = delete;
    ProgramProcess& operator=(const ProgramProcess&) = delete;

    // True once standard output holds `line` as a whole line; false when the program ended
    // or the patience ran out first.
    bool awaitOutputLine(const std::string& line);
    void signal(int number);
    // The exit code; -1 when the program did not end in time (it is then killed) or was
    // ended by a signal.
    int awaitExit();

    std::string standardOutput();
    std::string standardError();

private:
    struct Stream {
        int descriptor = -1;
        std::string text;
        bool closed = false;
        std::thread reader;
    };

    void collect(Stream& stream);

    pid_t child = -1;
    bool reaped = false;
    std::mutex mutex;
    std::condition_variable changed;
    Stream output;
    Stream error;
};

#endif
