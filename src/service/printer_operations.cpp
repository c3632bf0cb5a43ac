#include "platform/serial_ports.h"
#include "service/fiscal_printer_base.h"
#include "service/posnet_exception.h"
#include <boost/log/trivial.hpp>

namespace {

const int firstSerialPort = 1;
const int lastSerialPort = 24;

} // namespace

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

bool FiscalPrinterBase::connect(std::string port) {
    return printer.connect(port);
}

void FiscalPrinterBase::disconnect() {
    printer.disconnect();
}

bool FiscalPrinterBase::print(PrinterTypes::FiscalReceipt receipt) {
    printer.printReceipt(receipt.forPrinter(!configuration.data.dontPrintNipOnFiscalPrinter));
    return true;
}

PrinterTypes::VatMapping FiscalPrinterBase::getVatMapping() {
    return printer.vatRates();
}

void FiscalPrinterBase::dailyReport() {
    printer.dailyReport();
}

bool FiscalPrinterBase::moveCash(PrinterTypes::CashRequest request) {
    printer.moveCash(request.forPrinter());
    return true;
}

PrinterTypes::CashState FiscalPrinterBase::cashState() {
    return {printer.cashState()};
}

bool FiscalPrinterBase::openDrawer() {
    printer.openDrawer();
    return true;
}

PrinterInfo FiscalPrinterBase::printerInfo() {
    knownPrinterInfo = printer.info();
    return *knownPrinterInfo;
}

void FiscalPrinterBase::runTransaction(const std::string& command, const std::string& parameters) {
    try {
        printer.runTransaction(command, parameters);
    } catch (const PrinterError&) {
        rethrowAsAnswer();
    }
}
