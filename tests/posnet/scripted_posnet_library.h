// A scripted printer library, for the cases a real printer cannot be made to produce on cue.
// Every call succeeds by default; a test forces the result of the n-th call of a function and
// reads back the calls made, named as the POS_ functions are, with their arguments as text.
#ifndef TESTS_SCRIPTED_POSNET_LIBRARY_H
#define TESTS_SCRIPTED_POSNET_LIBRARY_H

#include "posnet/posnet_library.h"
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

class ScriptedPosnetLibrary : public PosnetLibrary {
public:
    static const POSNET_HANDLE deviceHandle = 11;
    static const POSNET_HANDLE device = 22;
    static const POSNET_HANDLE request = 33;

    struct Call {
        std::string function;
        std::vector<std::string> arguments;
    };

    // Forgets every call, forced result, error text and response value.
    void reset();

    // The `nth` call (from 1) of `function` answers `result`. For POS_GetPrnDeviceStatus the
    // result is the printer status it reports through its first output.
    void forceResult(const std::string& function, int nth, int64_t result);

    // The text POS_GetErrorString gives for `code` (Windows-1250); null for any other code.
    void setErrorText(POSNET_STATUS code, std::string windows1250);

    // The values the next requests answer with, popped in this order.
    void setResponseValues(std::vector<std::pair<std::string, std::string>> values);

    const std::vector<Call>& calls() const { return script.calls; }
    std::vector<std::string> callNames() const;

    POSNET_HANDLE createDeviceHandle(uint32_t deviceType) override;
    POSNET_STATUS setDeviceParam(POSNET_HANDLE hDevice, uint32_t paramId, void* value) override;
    POSNET_HANDLE openDevice(POSNET_HANDLE hDevice) override;
    POSNET_STATUS getPrnDeviceStatus(POSNET_HANDLE hLocalDevice, int32_t mode,
                                     int32_t* globalStatus, int32_t* printerStatus) override;
    POSNET_STATUS closeDevice(POSNET_HANDLE hLocalDevice) override;
    POSNET_STATUS destroyDeviceHandle(POSNET_HANDLE hDevice) override;
    POSNET_STATUS getError(POSNET_HANDLE hDeviceOrLocalDevice) override;
    const char* getErrorString(POSNET_STATUS code, const char* language) override;
    POSNET_HANDLE createRequestEx(POSNET_HANDLE hLocalDevice, const char* command,
                                  const char* parameters) override;
    POSNET_HANDLE createRequest(POSNET_HANDLE hLocalDevice, const char* command) override;
    POSNET_STATUS postRequest(POSNET_HANDLE hRequest, uint8_t mode) override;
    POSNET_STATUS waitForRequestCompleted(POSNET_HANDLE hRequest,
                                          uint32_t timeoutMilliseconds) override;
    POSNET_STATUS getRequestStatus(POSNET_HANDLE hRequest) override;
    uint32_t getResponseValueCount(POSNET_HANDLE hRequest) override;
    POSNET_STATUS popResponseValue(POSNET_HANDLE hRequest, char* name, char* value,
                                   uint32_t valueLength) override;
    POSNET_STATUS getRequestToken(POSNET_HANDLE hRequest, uint32_t* token) override;
    POSNET_HANDLE createRepeatRequest(POSNET_HANDLE hLocalDevice, uint32_t token,
                                      const char* command) override;
    POSNET_STATUS destroyRequest(POSNET_HANDLE hRequest) override;

private:
    struct Script {
        std::vector<Call> calls;
        std::map<std::string, int> callCounts;
        std::map<std::pair<std::string, int>, int64_t> forcedResults;
        std::map<POSNET_STATUS, std::string> errorTexts;
        std::vector<std::pair<std::string, std::string>> responseValues;
        size_t nextResponseValue = 0;
    };

    // Records the call and answers the forced result, or `normal` when none is forced.
    int64_t record(const std::string& function, std::vector<std::string> arguments, int64_t normal);

    Script script;
};

#endif
