// Which port texts reach the printer library. Nothing here opens a port: the check only looks
// at names and links.
#include "posnet/printer_port.h"
#include "support/temporary_folder.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <fstream>
#include <stdlib.h>
#include <unistd.h>
#endif

using posnet::printerPort;
using posnet::RefusedPort;

namespace {

::testing::AssertionResult refused(const std::string& portText) {
    try {
        return ::testing::AssertionFailure() << portText << " taken as " << printerPort(portText);
    } catch (const RefusedPort& refusal) {
        return ::testing::AssertionSuccess() << refusal.what();
    }
}

} // namespace

TEST(PrinterPort, SerialPortsComOneToTwentyFourAndNetworkPrintersPass) {
    for (const char* port : {"COM1", "COM9", "COM24", "tcp://127.0.0.1:6666",
                             "tcp://printer.shop.lan:9100", "tcp://[::1]:6666"}) {
        EXPECT_EQ(printerPort(port), port);
    }
}

TEST(PrinterPort, OtherNamesAreRefused) {
    for (const char* port : {"", "COM0", "COM25", "COM03", "COM", "LPT1", "tcp://127.0.0.1",
                             "tcp://127.0.0.1:0", "tcp://127.0.0.1:65536", "tcp://:6666",
                             "tcp://a b:6666", "tcp://host:66\n", "printer.pty", "dev/ttyS0"}) {
        EXPECT_TRUE(refused(port));
    }
}

TEST(PrinterPort, RefusalNamesTheTextWithItsControlBytesEscaped) {
    try {
        printerPort("COM1\nerror : forged");
        FAIL() << "taken";
    } catch (const RefusedPort& refusal) {
        EXPECT_EQ(std::string(refusal.what()).find('\n'), std::string::npos);
        EXPECT_NE(std::string(refusal.what()).find("COM1\\nerror : forged"), std::string::npos);
    }
}

#ifdef _WIN32

TEST(PrinterPort, PathsAndSharesAreRefusedOnWindows) {
    for (const char* port : {"\\\\printserver\\share\\printer", "\\\\.\\COM3", "\\\\?\\C:\\x",
                             "C:\\Users\\Public\\printer.txt", "/dev/ttyS0", "NUL"}) {
        EXPECT_TRUE(refused(port));
    }
}

#else

TEST(PrinterPort, SerialDevicesPassAsTheDeviceTheirLinksLeadTo) {
    TemporaryFolder folder;
    const boost::filesystem::path byId = folder.path() / "serial" / "by-id";
    boost::filesystem::create_directories(byId);
    boost::filesystem::create_symlink("/dev/ttyUSB7", byId / "usb-FTDI_FT232R-if00-port0");
    boost::filesystem::create_directories(folder.path() / "by-path");
    boost::filesystem::create_symlink("../serial/by-id/usb-FTDI_FT232R-if00-port0",
                                      folder.path() / "by-path" / "pci-0000:00:14.0-usb-0:2");

    EXPECT_EQ(printerPort((byId / "usb-FTDI_FT232R-if00-port0").string()), "/dev/ttyUSB7");
    EXPECT_EQ(printerPort((folder.path() / "by-path" / "pci-0000:00:14.0-usb-0:2").string()),
              "/dev/ttyUSB7");
    for (const char* device : {"/dev/ttyS0", "/dev/ttyACM12", "/dev/rfcomm0"}) {
        EXPECT_EQ(printerPort(device), device);
    }
}

TEST(PrinterPort, TerminalsFilesAndOtherDevicesAreRefused) {
    TemporaryFolder folder;
    const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(terminal, 0);
    ASSERT_EQ(::grantpt(terminal), 0);
    ASSERT_EQ(::unlockpt(terminal), 0);
    const std::string pseudoTerminal = ::ptsname(terminal);
    const boost::filesystem::path link = folder.path() / "printer";
    boost::filesystem::create_symlink(pseudoTerminal, link);
    const boost::filesystem::path file = folder.path() / "ttyUSB0";
    std::ofstream(file.string()) << "kept";
    const boost::filesystem::path loop = folder.path() / "loop";
    boost::filesystem::create_symlink(loop, loop);

    for (const std::string& port :
         {pseudoTerminal, link.string(), file.string(), loop.string(), std::string("/dev/null"),
          std::string("/dev/tty"), std::string("/dev/ttyS0/.."), std::string("/dev/ttyUSB0x"),
          std::string("/dev/../tmp/ttyS0")}) {
        EXPECT_TRUE(refused(port));
    }
    ::close(terminal);
}

#endif
