#include "fake_posnet.h"
#include <cstring>
#include <map>

namespace fakeposnet {
namespace {

struct Script {
    std::vector<Call> calls;
    std::map<std::string, int> callCounts;
    std::map<std::pair<std::string, int>, int64_t> forcedResults;
    std::map<POSNET_STATUS, std::string> errorTexts;
    std::vector<std::pair<std::string, std::string>> responseValues;
    size_t nextResponseValue = 0;
};

Script& script() {
    static Script instance;
    return instance;
}

// Records the call and answers the forced result, or `normal` when none is forced.
int64_t record(const std::string& function, std::vector<std::string> arguments, int64_t normal) {
    Script& s = script();
    s.calls.push_back({function, std::move(arguments)});
    const int nth = ++s.callCounts[function];
    const auto forced = s.forcedResults.find({function, nth});
    return forced == s.forcedResults.end() ? normal : forced->second;
}

std::string text(uint32_t value) {
    return std::to_string(value);
}

} // namespace

void reset() {
    script() = Script();
}

void forceResult(const std::string& function, int nth, int64_t result) {
    script().forcedResults[{function, nth}] = result;
}

void setErrorText(POSNET_STATUS code, std::string windows1250) {
    script().errorTexts[code] = std::move(windows1250);
}

void setResponseValues(std::vector<std::pair<std::string, std::string>> values) {
    script().responseValues = std::move(values);
    script().nextResponseValue = 0;
}

const std::vector<Call>& calls() {
    return script().calls;
}

std::vector<std::string> callNames() {
    std::vector<std::string> names;
    for (const Call& call : script().calls) {
        names.push_back(call.function);
    }
    return names;
}

} // namespace fakeposnet

using fakeposnet::record;
using fakeposnet::text;

extern "C" {

POSNET_HANDLE POS_CreateDeviceHandle(uint32_t deviceType) {
    return record("POS_CreateDeviceHandle", {text(deviceType)}, fakeposnet::deviceHandle);
}

POSNET_STATUS POS_SetDeviceParam(POSNET_HANDLE hDevice, uint32_t paramId, void* value) {
    const std::string shown = paramId == POSNET_DEV_PARAM_COMSETTINGS
                                  ? std::string(static_cast<const char*>(value))
                                  : std::to_string(*static_cast<const int32_t*>(value));
    return record("POS_SetDeviceParam", {text(hDevice), text(paramId), shown}, 0);
}

POSNET_HANDLE POS_OpenDevice(POSNET_HANDLE hDevice) {
    return record("POS_OpenDevice", {text(hDevice)}, fakeposnet::device);
}

POSNET_STATUS POS_GetPrnDeviceStatus(POSNET_HANDLE hLocalDevice, int32_t mode,
                                     int32_t* globalStatus, int32_t* printerStatus) {
    *globalStatus = static_cast<int32_t>(
        record("POS_GetPrnDeviceStatus", {text(hLocalDevice), std::to_string(mode)}, 0));
    *printerStatus = 0;
    return 0;
}

POSNET_STATUS POS_CloseDevice(POSNET_HANDLE hLocalDevice) {
    return record("POS_CloseDevice", {text(hLocalDevice)}, 0);
}

POSNET_STATUS POS_DestroyDeviceHandle(POSNET_HANDLE hDevice) {
    return record("POS_DestroyDeviceHandle", {text(hDevice)}, 0);
}

POSNET_STATUS POS_GetError(POSNET_HANDLE hDeviceOrLocalDevice) {
    return record("POS_GetError", {text(hDeviceOrLocalDevice)}, 0);
}

const char* POS_GetErrorString(POSNET_STATUS code, const char* language) {
    record("POS_GetErrorString", {std::to_string(code), language}, 0);
    const auto found = fakeposnet::script().errorTexts.find(code);
    return found == fakeposnet::script().errorTexts.end() ? nullptr : found->second.c_str();
}

POSNET_HANDLE POS_CreateRequestEx(POSNET_HANDLE hLocalDevice, const char* command,
                                  const char* parameters) {
    return record("POS_CreateRequestEx", {text(hLocalDevice), command, parameters},
                  fakeposnet::request);
}

POSNET_HANDLE POS_CreateRequest(POSNET_HANDLE hLocalDevice, const char* command) {
    return record("POS_CreateRequest", {text(hLocalDevice), command}, fakeposnet::request);
}

POSNET_STATUS POS_PostRequest(POSNET_HANDLE hRequest, uint8_t mode) {
    return record("POS_PostRequest", {text(hRequest), text(mode)}, 0);
}

POSNET_STATUS POS_WaitForRequestCompleted(POSNET_HANDLE hRequest, uint32_t timeoutMilliseconds) {
    return record("POS_WaitForRequestCompleted", {text(hRequest), text(timeoutMilliseconds)}, 0);
}

POSNET_STATUS POS_GetRequestStatus(POSNET_HANDLE hRequest) {
    return record("POS_GetRequestStatus", {text(hRequest)}, 0);
}

uint32_t POS_GetResponseValueCount(POSNET_HANDLE hRequest) {
    const fakeposnet::Script& s = fakeposnet::script();
    return record("POS_GetResponseValueCount", {text(hRequest)},
                  s.responseValues.size() - s.nextResponseValue);
}

POSNET_STATUS POS_PopResponseValue(POSNET_HANDLE hRequest, char* name, char* value,
                                   uint32_t valueLength) {
    fakeposnet::Script& s = fakeposnet::script();
    const bool empty = s.nextResponseValue == s.responseValues.size();
    const POSNET_STATUS result =
        record("POS_PopResponseValue", {text(hRequest), text(valueLength)}, empty ? 1 : 0);
    if (result == 0 && !empty) {
        const auto& entry = s.responseValues[s.nextResponseValue++];
        std::strncpy(name, entry.first.c_str(), 15);
        name[15] = '\0';
        std::strncpy(value, entry.second.c_str(), valueLength - 1);
        value[valueLength - 1] = '\0';
    }
    return result;
}

POSNET_STATUS POS_GetRequestToken(POSNET_HANDLE hRequest, uint32_t* token) {
    *token = 0;
    return record("POS_GetRequestToken", {text(hRequest)}, 0);
}

POSNET_HANDLE POS_CreateRepeatRequest(POSNET_HANDLE hLocalDevice, uint32_t token) {
    return record("POS_CreateRepeatRequest", {text(hLocalDevice), text(token)},
                  fakeposnet::request);
}

POSNET_STATUS POS_DestroyRequest(POSNET_HANDLE hRequest) {
    return record("POS_DestroyRequest", {text(hRequest)}, 0);
}

} // extern "C"
