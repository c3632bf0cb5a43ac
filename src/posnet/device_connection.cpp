#include "logging/log_text.h"
#include "platform/serial_ports.h"
#include "posnet/posnet_exception.h"
#include "posnet/printer_port.h"
#include "service/fiscal_printer_base.h"
#include <boost/log/trivial.hpp>
#include <vector>

namespace {

// The serial line's fixed settings: 9600 baud, 8 data bits, no parity, 1 stop bit and
// hardware handshake.
const char* const lineSettings = ",9600,8,N,1,H";
const int32_t outputQueueLength = 5;
const int32_t statusMode = 1;
const int firstSerialPort = 1;
const int lastSerialPort = 24;

void setLineSettings(POSNET_HANDLE deviceHandle, const std::string& port) {
    const std::string settings = port + lineSettings;
    std::vector<char> text(settings.begin(), settings.end());
    text.push_back('\0');
    POS_SetDeviceParam(deviceHandle, POSNET_DEV_PARAM_COMSETTINGS, text.data());
}

bool printerReady(POSNET_HANDLE device) {
    int32_t status = 0;
    int32_t printerStatus = 0;
    POS_GetPrnDeviceStatus(device, statusMode, &status, &printerStatus);
    return status == 0;
}

} // namespace

// A document left in doubt by a lost line is settled as soon as the printer can be asked.
bool FiscalPrinterBase::connect(std::string port) {
    if (!openConnection(port)) {
        return false;
    }
    if (documentInDoubt) {
        settleDocumentInDoubt();
    }
    return true;
}

bool FiscalPrinterBase::openConnection(const std::string& port) {
    BOOST_LOG_TRIVIAL(info) << "Trying to connect with device at " << escapeForLog(port);
    disconnect();
    std::string line;
    try {
        line = posnet::printerPort(port);
    } catch (const posnet::RefusedPort& refusal) {
        BOOST_LOG_TRIVIAL(error) << "Port refused: " << refusal.what();
        return false;
    }
    deviceHandle = POS_CreateDeviceHandle(1);
    if (deviceHandle == 0) {
        return false;
    }
    setLineSettings(deviceHandle, line);
    device = POS_OpenDevice(deviceHandle);
    if (device == 0) {
        const POSNET_STATUS code = POS_GetError(deviceHandle);
        POS_DestroyDeviceHandle(deviceHandle);
        throw PosnetException(code, "POS_OpenDevice()");
    }
    int32_t queueLength = outputQueueLength;
    POS_SetDeviceParam(deviceHandle, POSNET_DEV_PARAM_OUTQUEUELENGTH, &queueLength);
    if (!printerReady(device)) {
        POS_CloseDevice(device);
        POS_DestroyDeviceHandle(deviceHandle);
        return false;
    }
    connected = true;
    connectedPort = port;
    stateChanged(Connected);
    return true;
}

void FiscalPrinterBase::disconnect() {
    if (!connected) {
        return;
    }
    BOOST_LOG_TRIVIAL(info) << "Device disconnected.";
    stateChanged(Disconnected);
    connected = false;
    POS_CloseDevice(device);
    POS_DestroyDeviceHandle(deviceHandle);
}

PrinterTypes::SerialPortList FiscalPrinterBase::getSerialPortList() {
    BOOST_LOG_TRIVIAL(info) << "Checking COM ports";
    PrinterTypes::SerialPortList ports;
    for (int number = firstSerialPort; number <= lastSerialPort; ++number) {
        if (platform::serialPortPresent(number)) {
            ports.push_back("COM" + std::to_string(number));
        }
    }
    return ports;
}
