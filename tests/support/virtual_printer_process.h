// The built virtual-printer, run for one test in a temporary folder of its own.
//
//     VirtualPrinterProcess printer({"--refuse", "trline:2:2000"});
//     connectTo(printer.port());            // tcp://127.0.0.1:PORT, usable as the port text
//     ...
//     EXPECT_NE(printer.journal().find("CANCELLED RECEIPT"), std::string::npos);
//
// The constructor returns once the printer has printed its ready line, so the port can be
// opened at once; the destructor ends it with SIGTERM and removes the folder. A test program
// that is killed takes its printers with it: they get SIGTERM when the thread that started them
// ends.
#ifndef SUPPORT_VIRTUAL_PRINTER_PROCESS_H
#define SUPPORT_VIRTUAL_PRINTER_PROCESS_H

#include "support/temporary_folder.h"
#include <string>
#include <sys/types.h>
#include <vector>

class VirtualPrinterProcess {
public:
    enum class Line { PseudoTerminal, Tcp };

    // options: more of the printer's command-line options (see virtual-printer --help); the
    // line, the journal and the folder are chosen here. TCP by default, as the program opens
    // no pseudo-terminal; the library's own tests choose one. Throws std::runtime_error, with
    // what the printer said, when it does not start.
    explicit VirtualPrinterProcess(const std::vector<std::string>& options = {},
                                   Line line = Line::Tcp);
    ~VirtualPrinterProcess();
    VirtualPrinterProcess(const VirtualPrinterProcess&) = delete;
    VirtualPrinterProcess& operator=(const VirtualPrinterProcess&) = delete;

    // The port text for the printer library: the pty link's path or tcp://127.0.0.1:PORT.
    const std::string& port() const { return port_; }
    const std::string& journalPath() const { return journalPath_; }
    const std::string& folder() const { return folder_; }
    // The journal's text (UTF-8); empty while nothing was printed.
    std::string journal() const;

    // Ends the printer now, like a printer switched off; the destructor then has nothing to do.
    void stop();
    // Switches on again a printer that --switch-off-after switched off.
    void switchOn();

private:
    void start(const std::vector<std::string>& arguments);
    std::string readReadyLine(int fd);

    TemporaryFolder temporary_;
    std::string folder_;
    std::string journalPath_;
    std::string port_;
    pid_t pid_ = -1;
};

#endif
