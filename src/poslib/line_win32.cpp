#include "poslib/line.h"

#include "platform/com_port_name.h"
#include "platform/serial_ports.h"
#include "platform/wide_text_win32.h"
#include "poslib/library_error.h"
#include "poslib/tcp_address.h"

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/write.hpp>
#include <boost/system/system_error.hpp>
#include <climits>
#include <cstring>
#include <system_error>
#include <vector>
#include <windows.h>

namespace poslib {

namespace {

constexpr std::chrono::milliseconds connectLimit{5000};

std::string systemMessage(DWORD code) {
    return std::system_category().message(static_cast<int>(code));
}

[[noreturn]] void lineLost(const std::string& what, DWORD code) {
    throw LibraryError(LineLost, what + ": " + systemMessage(code));
}

[[noreturn]] void cannotOpen(const std::string& port, const std::string& why) {
    throw LibraryError(PortNotOpened, "cannot open " + port + ": " + why);
}

DWORD millisecondsUntil(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) {
        return 0;
    }
    return left >= MAXDWORD ? MAXDWORD - 1 : static_cast<DWORD>(left);
}

// A serial port opened for synchronous reads and writes, each bounded by SetCommTimeouts.
class SerialLine : public Line {
public:
    SerialLine(HANDLE port, std::string name) : handle(port), name(std::move(name)) {}
    ~SerialLine() override { CloseHandle(handle); }
    SerialLine(const SerialLine&) = delete;
    SerialLine& operator=(const SerialLine&) = delete;

    void write(const std::string& bytes, Clock::time_point deadline) override {
        COMMTIMEOUTS timeouts{};
        timeouts.WriteTotalTimeoutConstant = std::max<DWORD>(millisecondsUntil(deadline), 1);
        setTimeouts(timeouts);
        DWORD written = 0;
        if (!WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
            lineLost("write", GetLastError());
        }
        if (written < bytes.size()) {
            lineLost("write", ERROR_TIMEOUT);
        }
    }

    // Returns as soon as at least one byte is there, or empty at the deadline.
    std::string read(Clock::time_point deadline) override {
        const DWORD wait = millisecondsUntil(deadline);
        COMMTIMEOUTS timeouts{};
        timeouts.ReadIntervalTimeout = MAXDWORD;
        if (wait > 0) {
            timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
            timeouts.ReadTotalTimeoutConstant = wait;
        }
        setTimeouts(timeouts);
        char buffer[512];
        DWORD count = 0;
        if (!ReadFile(handle, buffer, sizeof buffer, &count, nullptr)) {
            lineLost("read", GetLastError());
        }
        return std::string(buffer, count);
    }

private:
    void setTimeouts(COMMTIMEOUTS& timeouts) {
        if (!SetCommTimeouts(handle, &timeouts)) {
            lineLost("SetCommTimeouts " + name, GetLastError());
        }
    }

    HANDLE handle;
    std::string name;
};

BYTE parityOf(char parity) {
    switch (parity) {
    case 'E':
        return EVENPARITY;
    case 'O':
        return ODDPARITY;
    default:
        return NOPARITY;
    }
}

void configurePort(HANDLE port, const PortSettings& settings) {
    DCB control{};
    control.DCBlength = sizeof control;
    if (!GetCommState(port, &control)) {
        cannotOpen(settings.port, systemMessage(GetLastError()));
    }
    control.BaudRate = static_cast<DWORD>(settings.baudRate);
    control.ByteSize = static_cast<BYTE>(settings.dataBits);
    control.Parity = parityOf(settings.parity);
    control.StopBits = settings.stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
    control.fBinary = TRUE;
    control.fParity = settings.parity != 'N';
    const bool rtsCts = settings.flowControl == FlowControl::RtsCts;
    const bool xonXoff = settings.flowControl == FlowControl::XonXoff;
    control.fOutxCtsFlow = rtsCts;
    control.fRtsControl = rtsCts ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
    control.fOutxDsrFlow = FALSE;
    control.fDtrControl = DTR_CONTROL_ENABLE;
    control.fDsrSensitivity = FALSE;
    // Frames never hold the XON and XOFF bytes, so the line may use them to pause the sender.
    control.fOutX = xonXoff;
    control.fInX = xonXoff;
    control.XonChar = 0x11;
    control.XoffChar = 0x13;
    control.fNull = FALSE;
    control.fAbortOnError = FALSE;
    if (!SetCommState(port, &control)) {
        cannotOpen(settings.port, systemMessage(GetLastError()));
    }
    // Bytes left over from an earlier conversation would be taken for the next answer.
    PurgeComm(port, PURGE_RXCLEAR | PURGE_TXCLEAR);
}

// Only the serial ports themselves (\\.\COMn): any other text could name a file, a pipe or a
// share on another machine.
std::unique_ptr<Line> openSerial(const PortSettings& settings) {
    if (platform::comPortNumber(settings.port) == 0) {
        cannotOpen(settings.port, "a serial port is named COM1, COM2, ...");
    }
    const std::string path = platform::serialDevicePath(settings.port);
    // No sharing: two programs writing frames to one printer would garble each other's
    // commands.
    const HANDLE port = CreateFileW(platform::widen(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        cannotOpen(settings.port, systemMessage(GetLastError()));
    }
    auto line = std::make_unique<SerialLine>(port, settings.port);
    configurePort(port, settings);
    return line;
}

using boost::asio::ip::tcp;

// A TCP connection driven by Boost.Asio; every operation runs the event loop only until its
// deadline and is cancelled when that passes.
class TcpLine : public Line {
public:
    // The name lookup and the connection share one deadline.
    explicit TcpLine(const PortSettings& settings) : socket(io) {
        const Clock::time_point deadline = Clock::now() + connectLimit;
        std::vector<tcp::endpoint> endpoints;
        const AddressList addresses = lookUpTcpAddress(settings.port, deadline);
        for (const addrinfo* found = addresses.get(); found != nullptr; found = found->ai_next) {
            tcp::endpoint endpoint;
            std::memcpy(endpoint.data(), found->ai_addr, found->ai_addrlen);
            endpoint.resize(found->ai_addrlen);
            endpoints.push_back(endpoint);
        }
        boost::system::error_code error = boost::asio::error::host_not_found;
        boost::asio::async_connect(socket, endpoints,
                                   [&error](const boost::system::error_code& result,
                                            const tcp::endpoint&) { error = result; });
        runUntil(deadline);
        if (error) {
            cannotOpen(settings.port, "connection refused or timed out");
        }
        socket.set_option(tcp::no_delay(true), error); // frames are small and answered
    }

    void write(const std::string& bytes, Clock::time_point deadline) override {
        boost::system::error_code error;
        boost::asio::async_write(
            socket, boost::asio::buffer(bytes),
            [&error](const boost::system::error_code& result, std::size_t) { error = result; });
        runUntil(deadline);
        if (error) {
            throw LibraryError(LineLost, "write: " + error.message());
        }
    }

    std::string read(Clock::time_point deadline) override {
        char buffer[512];
        boost::system::error_code error;
        std::size_t count = 0;
        socket.async_read_some(boost::asio::buffer(buffer),
                               [&](const boost::system::error_code& result, std::size_t size) {
                                   error = result;
                                   count = size;
                               });
        runUntil(deadline);
        if (error == boost::asio::error::operation_aborted) {
            return {};
        }
        if (error) {
            throw LibraryError(LineLost, "read: " + error.message());
        }
        return std::string(buffer, count);
    }

private:
    // The pending operation's handler has run when this returns: at the deadline the
    // operation is cancelled and completes with operation_aborted.
    void runUntil(Clock::time_point deadline) {
        io.restart();
        io.poll(); // what is there already counts, even when the deadline has passed
        io.run_until(deadline);
        if (!io.stopped()) {
            boost::system::error_code ignored; // a socket that cannot cancel has nothing left
            socket.cancel(ignored);
            io.restart();
            io.run();
        }
    }

    boost::asio::io_context io;
    tcp::socket socket;
};

} // namespace

std::unique_ptr<Line> openLine(const PortSettings& settings) {
    if (isTcpAddress(settings.port)) {
        return std::make_unique<TcpLine>(settings);
    }
    return openSerial(settings);
}

} // namespace poslib
