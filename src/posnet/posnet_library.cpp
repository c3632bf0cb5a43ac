#include "posnet/posnet_library.h"

namespace {

class LinkedPosnetLibrary : public PosnetLibrary {
public:
    POSNET_HANDLE createDeviceHandle(uint32_t deviceType) override {
        return POS_CreateDeviceHandle(deviceType);
    }
    POSNET_STATUS setDeviceParam(POSNET_HANDLE deviceHandle, uint32_t paramId,
                                 void* value) override {
        return POS_SetDeviceParam(deviceHandle, paramId, value);
    }
    POSNET_HANDLE openDevice(POSNET_HANDLE deviceHandle) override {
        return POS_OpenDevice(deviceHandle);
    }
    POSNET_STATUS getPrnDeviceStatus(POSNET_HANDLE device, int32_t mode, int32_t* globalStatus,
                                     int32_t* printerStatus) override {
        return POS_GetPrnDeviceStatus(device, mode, globalStatus, printerStatus);
    }
    POSNET_STATUS closeDevice(POSNET_HANDLE device) override { return POS_CloseDevice(device); }
    POSNET_STATUS destroyDeviceHandle(POSNET_HANDLE deviceHandle) override {
        return POS_DestroyDeviceHandle(deviceHandle);
    }
    POSNET_STATUS getError(POSNET_HANDLE deviceOrDevice) override {
        return POS_GetError(deviceOrDevice);
    }
    const char* getErrorString(POSNET_STATUS code, const char* language) override {
        return POS_GetErrorString(code, language);
    }
    POSNET_HANDLE createRequestEx(POSNET_HANDLE device, const char* command,
                                  const char* parameters) override {
        return POS_CreateRequestEx(device, command, parameters);
    }
    POSNET_HANDLE createRequest(POSNET_HANDLE device, const char* command) override {
        return POS_CreateRequest(device, command);
    }
    POSNET_STATUS postRequest(POSNET_HANDLE request, uint8_t mode) override {
        return POS_PostRequest(request, mode);
    }
    POSNET_STATUS waitForRequestCompleted(POSNET_HANDLE request,
                                          uint32_t timeoutMilliseconds) override {
        return POS_WaitForRequestCompleted(request, timeoutMilliseconds);
    }
    POSNET_STATUS getRequestStatus(POSNET_HANDLE request) override {
        return POS_GetRequestStatus(request);
    }
    uint32_t getResponseValueCount(POSNET_HANDLE request) override {
        return POS_GetResponseValueCount(request);
    }
    POSNET_STATUS popResponseValue(POSNET_HANDLE request, char* name, char* value,
                                   uint32_t valueLength) override {
        return POS_PopResponseValue(request, name, value, valueLength);
    }
    POSNET_STATUS getRequestToken(POSNET_HANDLE request, uint32_t* token) override {
        return POS_GetRequestToken(request, token);
    }
    POSNET_HANDLE createRepeatRequest(POSNET_HANDLE device, uint32_t token,
                                      const char* command) override {
        return POS_CreateRepeatRequest(device, token, command);
    }
    POSNET_STATUS destroyRequest(POSNET_HANDLE request) override {
        return POS_DestroyRequest(request);
    }
};

} // namespace

PosnetLibrary::~PosnetLibrary() = default;

PosnetLibrary& linkedPosnetLibrary() {
    static LinkedPosnetLibrary library;
    return library;
}
