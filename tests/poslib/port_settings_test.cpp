#include "platform/serial_ports.h"
#include "poslib/library_error.h"
#include "poslib/line.h"
#include "poslib/port_settings.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>
#endif

using namespace poslib;

namespace {

bool refused(const std::string& text) {
    try {
        parsePortSettings(text);
    } catch (const LibraryError& error) {
        return error.code() == InvalidArgument;
    }
    return false;
}

} // namespace

TEST(PortSettings, ReadsTheTextTheProgramPasses) {
    const PortSettings settings = parsePortSettings("COM3,9600,8,N,1,H");
    EXPECT_EQ(settings.port, "COM3");
    EXPECT_EQ(settings.baudRate, 9600);
    EXPECT_EQ(settings.dataBits, 8);
    EXPECT_EQ(settings.parity, 'N');
    EXPECT_EQ(settings.stopBits, 1);
    EXPECT_EQ(settings.flowControl, FlowControl::RtsCts);
}

TEST(PortSettings, KeepsDevicePathsAndNetworkAddressesWhole) {
    EXPECT_EQ(parsePortSettings("/tmp/a,b/printer,9600,8,N,1,H").port, "/tmp/a,b/printer");
    EXPECT_EQ(parsePortSettings("tcp://127.0.0.1:6666,9600,8,N,1,H").port, "tcp://127.0.0.1:6666");
}

TEST(PortSettings, ReadsOtherLineSettings) {
    const PortSettings settings = parsePortSettings("COM1,115200,7,E,2,N");
    EXPECT_EQ(settings.baudRate, 115200);
    EXPECT_EQ(settings.dataBits, 7);
    EXPECT_EQ(settings.parity, 'E');
    EXPECT_EQ(settings.stopBits, 2);
    EXPECT_EQ(settings.flowControl, FlowControl::None);
    EXPECT_EQ(parsePortSettings("COM1,115200,8,O,1,X").flowControl, FlowControl::XonXoff);
}

TEST(PortSettings, RefusesIncompleteOrImpossibleSettings) {
    EXPECT_TRUE(refused("COM3"));
    EXPECT_TRUE(refused("COM3,9600,8,N,1"));
    EXPECT_TRUE(refused(",9600,8,N,1,H"));
    EXPECT_TRUE(refused("COM3,9601,8,N,1,H"));
    EXPECT_TRUE(refused("COM3,96x0,8,N,1,H"));
    EXPECT_TRUE(refused("COM3,9600,9,N,1,H"));
    EXPECT_TRUE(refused("COM3,9600,8,X,1,H"));
    EXPECT_TRUE(refused("COM3,9600,8,N,3,H"));
    EXPECT_TRUE(refused("COM3,9600,8,N,1,R"));
    EXPECT_TRUE(refused("COM3,99999999999,8,N,1,H"));
}

// The Windows names are tested in tests/windows.
#ifndef _WIN32
TEST(SerialDevicePath, MapsComPortsToLinuxSerialDevices) {
    EXPECT_EQ(platform::serialDevicePath("COM1"), "/dev/ttyS0");
    EXPECT_EQ(platform::serialDevicePath("COM24"), "/dev/ttyS23");
    EXPECT_EQ(platform::serialDevicePath("com3"), "/dev/ttyS2");
}
#endif

TEST(SerialDevicePath, ReturnsOtherTextsUnchanged) {
    for (const char* text : {"/dev/ttyUSB0", "COM0", "COM", "COMX", "COM1a", "tcp://host:1", ""}) {
        EXPECT_EQ(platform::serialDevicePath(text), text);
    }
}

TEST(SerialPortPresent, DeniesPortsThatCannotExist) {
    EXPECT_FALSE(platform::serialPortPresent(0));
    EXPECT_FALSE(platform::serialPortPresent(-1));
}

#ifndef _WIN32
// A pseudo-terminal keeps the settings its other end was given, as a serial port does, except
// the parity bit itself, which Linux clears on a pseudo-terminal (odd parity still shows).
TEST(SerialLine, TakesTheSettingsThePrinterIsSetTo) {
    struct Case {
        const char* settings;
        speed_t speed;
        tcflag_t controlFlags;
        tcflag_t inputFlags;
    };
    for (const Case& line :
         {Case{"9600,8,N,1,H", B9600, CRTSCTS, 0}, Case{"115200,8,N,1,X", B115200, 0, IXON | IXOFF},
          Case{"19200,8,O,2,N", B19200, PARODD | CSTOPB, 0}}) {
        SCOPED_TRACE(line.settings);
        const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master, 0);
        ASSERT_EQ(::grantpt(master) | ::unlockpt(master), 0);
        const auto opened =
            openLine(parsePortSettings(std::string(::ptsname(master)) + "," + line.settings));
        termios mode{};
        ASSERT_EQ(::tcgetattr(master, &mode), 0);
        EXPECT_EQ(::cfgetospeed(&mode), line.speed);
        const tcflag_t controlFlags = CRTSCTS | PARODD | CSTOPB;
        EXPECT_EQ(mode.c_cflag & controlFlags, line.controlFlags);
        EXPECT_EQ(mode.c_iflag & (IXON | IXOFF), line.inputFlags);
        ::close(master);
    }
}
#endif
