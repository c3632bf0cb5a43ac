// The printer maker's library as the printer calls it: one member per POS_ function used, so
// that tests can put a scripted library where a real printer cannot fail on cue.
#ifndef POSNET_POSNET_LIBRARY_H
#define POSNET_POSNET_LIBRARY_H

#include "poslib/posnet.h"

// Each member has the signature, the arguments and the return convention of its POS_ function.
class PosnetLibrary {
public:
    virtual ~PosnetLibrary();

    virtual POSNET_HANDLE createDeviceHandle(uint32_t deviceType) = 0;
    virtual POSNET_STATUS setDeviceParam(POSNET_HANDLE deviceHandle, uint32_t paramId,
                                         void* value) = 0;
    virtual POSNET_HANDLE openDevice(POSNET_HANDLE deviceHandle) = 0;
    virtual POSNET_STATUS getPrnDeviceStatus(POSNET_HANDLE device, int32_t mode,
                                             int32_t* globalStatus, int32_t* printerStatus) = 0;
    virtual POSNET_STATUS closeDevice(POSNET_HANDLE device) = 0;
    virtual POSNET_STATUS destroyDeviceHandle(POSNET_HANDLE deviceHandle) = 0;
    virtual POSNET_STATUS getError(POSNET_HANDLE deviceOrDevice) = 0;
    virtual const char* getErrorString(POSNET_STATUS code, const char* language) = 0;
    virtual POSNET_HANDLE createRequestEx(POSNET_HANDLE device, const char* command,
                                          const char* parameters) = 0;
    virtual POSNET_HANDLE createRequest(POSNET_HANDLE device, const char* command) = 0;
    virtual POSNET_STATUS postRequest(POSNET_HANDLE request, uint8_t mode) = 0;
    virtual POSNET_STATUS waitForRequestCompleted(POSNET_HANDLE request,
                                                  uint32_t timeoutMilliseconds) = 0;
    virtual POSNET_STATUS getRequestStatus(POSNET_HANDLE request) = 0;
    virtual uint32_t getResponseValueCount(POSNET_HANDLE request) = 0;
    virtual POSNET_STATUS popResponseValue(POSNET_HANDLE request, char* name, char* value,
                                           uint32_t valueLength) = 0;
    virtual POSNET_STATUS getRequestToken(POSNET_HANDLE request, uint32_t* token) = 0;
    virtual POSNET_HANDLE createRepeatRequest(POSNET_HANDLE device, uint32_t token,
                                              const char* command) = 0;
    virtual POSNET_STATUS destroyRequest(POSNET_HANDLE request) = 0;
};

// The library linked behind posnet.h; stateless, shared by every printer.
PosnetLibrary& linkedPosnetLibrary();

#endif
