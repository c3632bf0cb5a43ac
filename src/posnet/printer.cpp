// The printer's handles and its one connection; its commands are in transaction.cpp,
// send_ahead.cpp, receipt_printing.cpp and vat_and_report.cpp, what became of a document
// whose closing answer was lost in DocumentRecovery.
#include "posnet/printer.h"
#include "logging/log_text.h"
#include "posnet/printer_port.h"
#include "posnet/request_limits.h"
#include <boost/log/trivial.hpp>
#include <vector>

namespace {

const int32_t statusMode = 1;

// The library's text "PORT,BAUD,DATABITS,PARITY,STOPBITS,HANDSHAKE".
std::string comSettings(const std::string& port, const LineSettings& line) {
    using Parity = LineSettings::Parity;
    using FlowControl = LineSettings::FlowControl;
    const char parity = line.parity == Parity::Odd ? 'O' : line.parity == Parity::Even ? 'E' : 'N';
    const char flowControl = line.flowControl == FlowControl::RtsCts    ? 'H'
                             : line.flowControl == FlowControl::XonXoff ? 'X'
                                                                        : 'N';
    return port + "," + std::to_string(line.speed) + ",8," + parity + "," +
           std::to_string(line.stopBits) + "," + flowControl;
}

void setLineSettings(PosnetLibrary& library, POSNET_HANDLE deviceHandle, const std::string& port,
                     const LineSettings& line) {
    const std::string settings = comSettings(port, line);
    std::vector<char> text(settings.begin(), settings.end());
    text.push_back('\0');
    library.setDeviceParam(deviceHandle, POSNET_DEV_PARAM_COMSETTINGS, text.data());
}

bool printerReady(PosnetLibrary& library, POSNET_HANDLE device) {
    int32_t status = 0;
    int32_t printerStatus = 0;
    library.getPrnDeviceStatus(device, statusMode, &status, &printerStatus);
    return status == 0;
}

} // namespace

Printer::Printer(PosnetLibrary& library, const LineSettings& line) : library(library), line(line) {}

Printer::~Printer() {
    disconnect();
}

// A document left in doubt by a lost line is settled as soon as the printer can be asked, and
// a receipt's footer that the line left open is ended.
bool Printer::connect(const std::string& port) {
    if (!openConnection(port)) {
        return false;
    }
    if (recovery.documentInDoubt()) {
        recovery.settle();
    }
    if (footerPending) {
        endFooterLeftOpen();
    }
    return true;
}

bool Printer::openConnection(const std::string& port) {
    BOOST_LOG_TRIVIAL(info) << "Trying to connect with device at " << escapeForLog(port);
    disconnect();
    std::string portName;
    try {
        portName = posnet::printerPort(port);
    } catch (const posnet::RefusedPort& refusal) {
        BOOST_LOG_TRIVIAL(error) << "Port refused: " << refusal.what();
        return false;
    }
    deviceHandle = library.createDeviceHandle(1);
    if (deviceHandle == 0) {
        return false;
    }
    setLineSettings(library, deviceHandle, portName, line);
    device = library.openDevice(deviceHandle);
    if (device == 0) {
        const POSNET_STATUS code = library.getError(deviceHandle);
        library.destroyDeviceHandle(deviceHandle);
        throw posnetError(code, "POS_OpenDevice()");
    }
    int32_t queueLength = posnet::outputQueueLength;
    library.setDeviceParam(deviceHandle, POSNET_DEV_PARAM_OUTQUEUELENGTH, &queueLength);
    if (!printerReady(library, device)) {
        library.closeDevice(device);
        library.destroyDeviceHandle(deviceHandle);
        return false;
    }
    open = true;
    oneAtATime = false;
    connectedPort = port;
    connectionChanged(true);
    return true;
}

void Printer::disconnect() {
    if (!open) {
        return;
    }
    BOOST_LOG_TRIVIAL(info) << "Device disconnected.";
    connectionChanged(false);
    open = false;
    library.closeDevice(device);
    library.destroyDeviceHandle(deviceHandle);
}
