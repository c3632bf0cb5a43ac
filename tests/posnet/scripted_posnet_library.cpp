#include "scripted_posnet_library.h"
#include <cstring>

namespace {

std::string text(uint32_t value) {
    return std::to_string(value);
}

} // namespace

int64_t ScriptedPosnetLibrary::record(const std::string& function,
                                      std::vector<std::string> arguments, int64_t normal) {
    script.calls.push_back({function, std::move(arguments)});
    const int nth = ++script.callCounts[function];
    const auto forced = script.forcedResults.find({function, nth});
    return forced == script.forcedResults.end() ? normal : forced->second;
}

void ScriptedPosnetLibrary::reset() {
    script = Script();
}

void ScriptedPosnetLibrary::forceResult(const std::string& function, int nth, int64_t result) {
    script.forcedResults[{function, nth}] = result;
}

void ScriptedPosnetLibrary::setErrorText(POSNET_STATUS code, std::string windows1250) {
    script.errorTexts[code] = std::move(windows1250);
}

void ScriptedPosnetLibrary::setResponseValues(
    std::vector<std::pair<std::string, std::string>> values) {
    script.responseValues = std::move(values);
    script.nextResponseValue = 0;
}

std::vector<std::string> ScriptedPosnetLibrary::callNames() const {
    std::vector<std::string> names;
    for (const Call& call : script.calls) {
        names.push_back(call.function);
    }
    return names;
}

POSNET_HANDLE ScriptedPosnetLibrary::createDeviceHandle(uint32_t deviceType) {
    return record("POS_CreateDeviceHandle", {text(deviceType)}, deviceHandle);
}

POSNET_STATUS ScriptedPosnetLibrary::setDeviceParam(POSNET_HANDLE hDevice, uint32_t paramId,
                                                    void* value) {
    const std::string shown = paramId == POSNET_DEV_PARAM_COMSETTINGS
                                  ? std::string(static_cast<const char*>(value))
                                  : std::to_string(*static_cast<const int32_t*>(value));
    return record("POS_SetDeviceParam", {text(hDevice), text(paramId), shown}, 0);
}

POSNET_HANDLE ScriptedPosnetLibrary::openDevice(POSNET_HANDLE hDevice) {
    return record("POS_OpenDevice", {text(hDevice)}, device);
}

POSNET_STATUS ScriptedPosnetLibrary::getPrnDeviceStatus(POSNET_HANDLE hLocalDevice, int32_t mode,
                                                        int32_t* globalStatus,
                                                        int32_t* printerStatus) {
    *globalStatus = static_cast<int32_t>(
        record("POS_GetPrnDeviceStatus", {text(hLocalDevice), std::to_string(mode)}, 0));
    *printerStatus = 0;
    return 0;
}

POSNET_STATUS ScriptedPosnetLibrary::closeDevice(POSNET_HANDLE hLocalDevice) {
    return record("POS_CloseDevice", {text(hLocalDevice)}, 0);
}

POSNET_STATUS ScriptedPosnetLibrary::destroyDeviceHandle(POSNET_HANDLE hDevice) {
    return record("POS_DestroyDeviceHandle", {text(hDevice)}, 0);
}

POSNET_STATUS ScriptedPosnetLibrary::getError(POSNET_HANDLE hDeviceOrLocalDevice) {
    return record("POS_GetError", {text(hDeviceOrLocalDevice)}, 0);
}

const char* ScriptedPosnetLibrary::getErrorString(POSNET_STATUS code, const char* language) {
    record("POS_GetErrorString", {std::to_string(code), language}, 0);
    const auto found = script.errorTexts.find(code);
    return found == script.errorTexts.end() ? nullptr : found->second.c_str();
}

POSNET_HANDLE ScriptedPosnetLibrary::createRequestEx(POSNET_HANDLE hLocalDevice,
                                                     const char* command, const char* parameters) {
    return record("POS_CreateRequestEx", {text(hLocalDevice), command, parameters}, request);
}

POSNET_HANDLE ScriptedPosnetLibrary::createRequest(POSNET_HANDLE hLocalDevice,
                                                   const char* command) {
    return record("POS_CreateRequest", {text(hLocalDevice), command}, request);
}

POSNET_STATUS ScriptedPosnetLibrary::postRequest(POSNET_HANDLE hRequest, uint8_t mode) {
    return record("POS_PostRequest", {text(hRequest), text(mode)}, 0);
}

POSNET_STATUS ScriptedPosnetLibrary::waitForRequestCompleted(POSNET_HANDLE hRequest,
                                                             uint32_t timeoutMilliseconds) {
    return record("POS_WaitForRequestCompleted", {text(hRequest), text(timeoutMilliseconds)}, 0);
}

POSNET_STATUS ScriptedPosnetLibrary::getRequestStatus(POSNET_HANDLE hRequest) {
    return record("POS_GetRequestStatus", {text(hRequest)}, 0);
}

uint32_t ScriptedPosnetLibrary::getResponseValueCount(POSNET_HANDLE hRequest) {
    return record("POS_GetResponseValueCount", {text(hRequest)},
                  script.responseValues.size() - script.nextResponseValue);
}

POSNET_STATUS ScriptedPosnetLibrary::popResponseValue(POSNET_HANDLE hRequest, char* name,
                                                      char* value, uint32_t valueLength) {
    const bool empty = script.nextResponseValue == script.responseValues.size();
    const POSNET_STATUS result =
        record("POS_PopResponseValue", {text(hRequest), text(valueLength)}, empty ? 1 : 0);
    if (result == 0 && !empty) {
        const auto& entry = script.responseValues[script.nextResponseValue++];
        std::strncpy(name, entry.first.c_str(), 15);
        name[15] = '\0';
        std::strncpy(value, entry.second.c_str(), valueLength - 1);
        value[valueLength - 1] = '\0';
    }
    return result;
}

POSNET_STATUS ScriptedPosnetLibrary::getRequestToken(POSNET_HANDLE hRequest, uint32_t* token) {
    *token = 0;
    return record("POS_GetRequestToken", {text(hRequest)}, 0);
}

POSNET_HANDLE ScriptedPosnetLibrary::createRepeatRequest(POSNET_HANDLE hLocalDevice, uint32_t token,
                                                         const char* command) {
    return record("POS_CreateRepeatRequest", {text(hLocalDevice), text(token), command}, request);
}

POSNET_STATUS ScriptedPosnetLibrary::destroyRequest(POSNET_HANDLE hRequest) {
    return record("POS_DestroyRequest", {text(hRequest)}, 0);
}
