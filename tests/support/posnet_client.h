// Drives the POS_ functions the way the program does, for the library's and the virtual
// printer's tests: open a device on a port text, run one command, read its values.
#ifndef SUPPORT_POSNET_CLIENT_H
#define SUPPORT_POSNET_CLIENT_H

#include "poslib/posnet.h"

#include <string>
#include <utility>
#include <vector>

// The result of each step of one command; steps after a failed one are not taken (-1).
struct CommandOutcome {
    POSNET_HANDLE request = 0;
    POSNET_STATUS post = -1;
    POSNET_STATUS wait = -1;
    POSNET_STATUS status = -1;
    std::vector<std::pair<std::string, std::string>> values;
};

class PosnetClient {
public:
    // Creates the handle, sets "port,9600,8,N,1,H" and opens the device.
    explicit PosnetClient(const std::string& port);
    ~PosnetClient();
    PosnetClient(const PosnetClient&) = delete;
    PosnetClient& operator=(const PosnetClient&) = delete;

    bool opened() const { return device_ != 0; }
    POSNET_HANDLE handle() const { return handle_; }
    POSNET_HANDLE device() const { return device_; }

    // Opens again after close(); false when it could not.
    bool open();
    void close();

    // Create, post, wait (limit in milliseconds), status, values, destroy. With `token`, the
    // frame carries a token, whose number it gets.
    CommandOutcome run(const std::string& command, const std::string& parameters = "",
                       uint32_t waitLimit = POSNET_WAIT_LIMIT_MS, uint32_t* token = nullptr);

private:
    std::string settings_;
    POSNET_HANDLE handle_ = 0;
    POSNET_HANDLE device_ = 0;
};

#endif
