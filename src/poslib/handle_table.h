// The objects behind the library's handles: device settings, open devices and requests.
#ifndef POSLIB_HANDLE_TABLE_H
#define POSLIB_HANDLE_TABLE_H

#include "poslib/connection.h"
#include "poslib/library_error.h"
#include "poslib/port_settings.h"

#include <map>
#include <memory>
#include <mutex>
#include <optional>

namespace poslib {

class LibraryObject {
public:
    virtual ~LibraryObject() = default;
    POSNET_STATUS lastError = 0; // what POS_GetError reports
};

// What POS_CreateDeviceHandle makes: the port that POS_OpenDevice will open.
class DeviceSettings : public LibraryObject {
public:
    std::optional<PortSettings> port;
};

// What POS_OpenDevice makes.
class OpenDevice : public LibraryObject {
public:
    explicit OpenDevice(std::unique_ptr<Line> line) : connection(std::move(line)) {}
    Connection connection;
};

class RequestEntry : public LibraryObject {
public:
    RequestEntry(POSNET_HANDLE deviceHandle, std::shared_ptr<OpenDevice> owner,
                 std::shared_ptr<Request> request)
        : device(deviceHandle), owner(std::move(owner)), request(std::move(request)) {}
    POSNET_HANDLE device;
    std::shared_ptr<OpenDevice> owner;
    std::shared_ptr<Request> request;
};

// Handles are small numbers, never 0, not reused while their object lives. The table may be
// used from several threads; a device and its requests are used by one thread at a time, as
// the program calls them.
class HandleTable {
public:
    static HandleTable& instance();

    POSNET_HANDLE add(std::shared_ptr<LibraryObject> object);
    // Throws LibraryError(InvalidHandle) when the handle names no object of that kind.
    template <class Kind> std::shared_ptr<Kind> find(POSNET_HANDLE handle) const {
        std::shared_ptr<Kind> object = std::dynamic_pointer_cast<Kind>(findAny(handle));
        if (!object) {
            throw LibraryError(InvalidHandle, "handle of another kind");
        }
        return object;
    }
    std::shared_ptr<LibraryObject> findAny(POSNET_HANDLE handle) const;
    void remove(POSNET_HANDLE handle);
    // Requests die with their device; the caller may have left failed ones undestroyed.
    void removeRequestsOf(POSNET_HANDLE device);

private:
    mutable std::mutex mutex;
    std::map<POSNET_HANDLE, std::shared_ptr<LibraryObject>> objects;
    POSNET_HANDLE next = 1;
};

} // namespace poslib

#endif
