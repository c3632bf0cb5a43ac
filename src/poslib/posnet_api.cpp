// The POS_ functions of posnet.h on top of the handle table and the connections.
#include "poslib/posnet.h"

#include "poslib/handle_table.h"

#include <cstring>

using namespace poslib;

namespace {

constexpr int32_t statusMode = 1; // ask the printer now; the only mode there is
constexpr uint8_t postQueued = 0; // the only post mode: the printer's own queue decides
constexpr std::chrono::milliseconds statusWaitLimit{POSNET_WAIT_LIMIT_MS};

HandleTable& table() {
    return HandleTable::instance();
}

// Keeps the code for POS_GetError; a handle that names nothing has nowhere to keep it.
void record(POSNET_HANDLE handle, POSNET_STATUS code) {
    try {
        table().findAny(handle)->lastError = code;
    } catch (const LibraryError&) {
        return;
    }
}

// A C caller cannot catch exceptions: each one ends here as the code that the call returns,
// kept for POS_GetError on the handle the call was about.
template <class Body> POSNET_STATUS guarded(POSNET_HANDLE handle, Body body) {
    POSNET_STATUS code = InternalError;
    try {
        body();
        return 0;
    } catch (const LibraryError& error) {
        code = error.code();
    } catch (const std::exception&) {
        code = InternalError;
    }
    record(handle, code);
    return code;
}

// As guarded(), for the calls that answer a new handle, or 0 on failure.
template <class Body> POSNET_HANDLE creating(POSNET_HANDLE source, Body body) {
    POSNET_HANDLE created = 0;
    guarded(source, [&] { created = body(); });
    return created;
}

void require(bool condition, const char* what) {
    if (!condition) {
        throw LibraryError(InvalidArgument, what);
    }
}

int32_t statusValue(const std::shared_ptr<Request>& request, const char* name) {
    if (request->status() != 0) {
        throw LibraryError(request->status(), "status query refused");
    }
    ResponseValue value;
    while (request->popValue(value)) {
        if (value.name == name && !value.value.empty() &&
            value.value.find_first_not_of("0123456789") == std::string::npos &&
            value.value.size() < 9) {
            return std::stoi(value.value);
        }
    }
    throw LibraryError(UnexpectedAnswer, "status answer without its value");
}

void copyTerminated(const std::string& text, char* target, std::size_t capacity) {
    const std::size_t length = std::min(text.size(), capacity - 1);
    std::memcpy(target, text.data(), length);
    target[length] = '\0';
}

} // namespace

extern "C" {

POSNET_HANDLE POSNET_API POS_CreateDeviceHandle(uint32_t /*deviceType: one protocol for all*/) {
    return creating(0, [] { return table().add(std::make_shared<DeviceSettings>()); });
}

POSNET_STATUS POSNET_API POS_SetDeviceParam(POSNET_HANDLE hDevice, uint32_t paramId, void* value) {
    return guarded(hDevice, [&] {
        const auto device = table().find<DeviceSettings>(hDevice);
        require(value != nullptr, "parameter value missing");
        if (paramId == POSNET_DEV_PARAM_COMSETTINGS) {
            device->port = parsePortSettings(static_cast<const char*>(value));
        } else {
            // The output queue length is accepted as the closed library accepts it; this one
            // writes each frame when it is posted and keeps no queue of its own to size.
            require(paramId == POSNET_DEV_PARAM_OUTQUEUELENGTH, "unknown device parameter");
            require(*static_cast<const int32_t*>(value) > 0, "queue length below 1");
        }
    });
}

POSNET_HANDLE POSNET_API POS_OpenDevice(POSNET_HANDLE hDevice) {
    return creating(hDevice, [&] {
        const auto device = table().find<DeviceSettings>(hDevice);
        require(device->port.has_value(), "port not set");
        return table().add(std::make_shared<OpenDevice>(openLine(*device->port)));
    });
}

POSNET_STATUS POSNET_API POS_GetPrnDeviceStatus(POSNET_HANDLE hLocalDevice, int32_t mode,
                                                int32_t* globalStatus, int32_t* printerStatus) {
    return guarded(hLocalDevice, [&] {
        require(globalStatus != nullptr && printerStatus != nullptr, "status output missing");
        // Whatever fails below, the caller must not read "ready" from the outputs.
        *globalStatus = -1;
        *printerStatus = -1;
        require(mode == statusMode, "unknown status mode");
        Connection& connection = table().find<OpenDevice>(hLocalDevice)->connection;
        const auto mechanism = std::make_shared<Request>("!sprn", "");
        const auto device = std::make_shared<Request>("!sdev", "");
        connection.post(mechanism);
        connection.post(device);
        connection.waitFor(*mechanism, statusWaitLimit);
        connection.waitFor(*device, statusWaitLimit);
        const int32_t mechanismStatus = statusValue(mechanism, "pr");
        const int32_t deviceStatus = statusValue(device, "ds");
        *printerStatus = mechanismStatus;
        *globalStatus = deviceStatus != 0 ? deviceStatus : mechanismStatus;
    });
}

POSNET_STATUS POSNET_API POS_CloseDevice(POSNET_HANDLE hLocalDevice) {
    return guarded(hLocalDevice, [&] {
        table().find<OpenDevice>(hLocalDevice);
        table().removeRequestsOf(hLocalDevice);
        table().remove(hLocalDevice);
    });
}

POSNET_STATUS POSNET_API POS_DestroyDeviceHandle(POSNET_HANDLE hDevice) {
    return guarded(hDevice, [&] {
        table().find<DeviceSettings>(hDevice);
        table().remove(hDevice);
    });
}

POSNET_STATUS POSNET_API POS_GetError(POSNET_HANDLE hDeviceOrLocalDevice) {
    try {
        return table().findAny(hDeviceOrLocalDevice)->lastError;
    } catch (const LibraryError& error) {
        return error.code();
    }
}

const char* POSNET_API POS_GetErrorString(POSNET_STATUS code, const char* /*language*/) {
    // Polish is the only language this library has.
    return errorText(code);
}

POSNET_HANDLE POSNET_API POS_CreateRequestEx(POSNET_HANDLE hLocalDevice, const char* command,
                                             const char* parameters) {
    return creating(hLocalDevice, [&] {
        require(command != nullptr, "command missing");
        const auto device = table().find<OpenDevice>(hLocalDevice);
        auto request = std::make_shared<Request>(command, parameters ? parameters : "");
        return table().add(
            std::make_shared<RequestEntry>(hLocalDevice, device, std::move(request)));
    });
}

POSNET_HANDLE POSNET_API POS_CreateRequest(POSNET_HANDLE hLocalDevice, const char* command) {
    return POS_CreateRequestEx(hLocalDevice, command, "");
}

POSNET_STATUS POSNET_API POS_PostRequest(POSNET_HANDLE hRequest, uint8_t mode) {
    return guarded(hRequest, [&] {
        require(mode == postQueued, "unknown post mode");
        const auto entry = table().find<RequestEntry>(hRequest);
        entry->owner->connection.post(entry->request);
    });
}

POSNET_STATUS POSNET_API POS_WaitForRequestCompleted(POSNET_HANDLE hRequest,
                                                     uint32_t timeoutMilliseconds) {
    return guarded(hRequest, [&] {
        const auto entry = table().find<RequestEntry>(hRequest);
        entry->owner->connection.waitFor(*entry->request,
                                         std::chrono::milliseconds(timeoutMilliseconds));
    });
}

POSNET_STATUS POSNET_API POS_GetRequestStatus(POSNET_HANDLE hRequest) {
    POSNET_STATUS status = 0;
    const POSNET_STATUS failure = guarded(
        hRequest, [&] { status = table().find<RequestEntry>(hRequest)->request->status(); });
    return failure != 0 ? failure : status;
}

uint32_t POSNET_API POS_GetResponseValueCount(POSNET_HANDLE hRequest) {
    uint32_t count = 0;
    guarded(hRequest, [&] {
        count = static_cast<uint32_t>(table().find<RequestEntry>(hRequest)->request->valueCount());
    });
    return count;
}

POSNET_STATUS POSNET_API POS_PopResponseValue(POSNET_HANDLE hRequest, char* name, char* value,
                                              uint32_t valueLength) {
    return guarded(hRequest, [&] {
        require(name != nullptr && value != nullptr && valueLength > 0, "value buffer missing");
        ResponseValue popped;
        if (!table().find<RequestEntry>(hRequest)->request->popValue(popped)) {
            throw LibraryError(NoMoreValues, "no value left");
        }
        copyTerminated(popped.name, name, POSNET_NAME_LENGTH);
        copyTerminated(popped.value, value, valueLength);
    });
}

POSNET_STATUS POSNET_API POS_GetRequestToken(POSNET_HANDLE hRequest, uint32_t* token) {
    return guarded(hRequest, [&] {
        require(token != nullptr, "token output missing");
        Request& request = *table().find<RequestEntry>(hRequest)->request;
        request.wantToken();
        *token = request.tokenNumber();
    });
}

POSNET_HANDLE POSNET_API POS_CreateRepeatRequest(POSNET_HANDLE hLocalDevice, uint32_t token,
                                                 const char* command) {
    return creating(hLocalDevice, [&] {
        require(command != nullptr, "command missing");
        const auto device = table().find<OpenDevice>(hLocalDevice);
        return table().add(std::make_shared<RequestEntry>(hLocalDevice, device,
                                                          Request::repeatOf(token, command)));
    });
}

POSNET_STATUS POSNET_API POS_DestroyRequest(POSNET_HANDLE hRequest) {
    return guarded(hRequest, [&] {
        table().find<RequestEntry>(hRequest);
        table().remove(hRequest);
    });
}

} // extern "C"
