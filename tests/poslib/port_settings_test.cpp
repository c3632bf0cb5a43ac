#include "platform/serial_ports.h"
#include "poslib/library_error.h"
#include "poslib/port_settings.h"

#include <gtest/gtest.h>

using namespace poslib;

namespace {

bool refused(const std::string& text) {
    try {
        parsePortSettings(text);
    } catch (const LibraryError& error) {
        return error.code() == kInvalidArgument;
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
    EXPECT_TRUE(settings.handshake);
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
    EXPECT_FALSE(settings.handshake);
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
    EXPECT_TRUE(refused("COM3,9600,8,N,1,X"));
    EXPECT_TRUE(refused("COM3,99999999999,8,N,1,H"));
}

TEST(SerialDevicePath, MapsComPortsToLinuxSerialDevices) {
    EXPECT_EQ(platform::serialDevicePath("COM1"), "/dev/ttyS0");
    EXPECT_EQ(platform::serialDevicePath("COM24"), "/dev/ttyS23");
    EXPECT_EQ(platform::serialDevicePath("com3"), "/dev/ttyS2");
}

TEST(SerialDevicePath, ReturnsOtherTextsUnchanged) {
    for (const char* text : {"/dev/ttyUSB0", "COM0", "COM", "COMX", "COM1a", "tcp://host:1", ""}) {
        EXPECT_EQ(platform::serialDevicePath(text), text);
    }
}

TEST(SerialPortPresent, DeniesPortsThatCannotExist) {
    EXPECT_FALSE(platform::serialPortPresent(0));
    EXPECT_FALSE(platform::serialPortPresent(-1));
}
