#include "support/posnet_client.h"

PosnetClient::PosnetClient(const std::string& port)
    : settings_(port + ",9600,8,N,1,H"), handle_(POS_CreateDeviceHandle(1)) {
    POS_SetDeviceParam(handle_, POSNET_DEV_PARAM_COMSETTINGS, settings_.data());
    open();
}

PosnetClient::~PosnetClient() {
    close();
    POS_DestroyDeviceHandle(handle_);
}

bool PosnetClient::open() {
    device_ = POS_OpenDevice(handle_);
    return device_ != 0;
}

void PosnetClient::close() {
    if (device_ != 0) {
        POS_CloseDevice(device_);
        device_ = 0;
    }
}

CommandOutcome PosnetClient::run(const std::string& command, const std::string& parameters,
                                 uint32_t waitLimit, uint32_t* token) {
    CommandOutcome outcome;
    outcome.request = POS_CreateRequestEx(device_, command.c_str(), parameters.c_str());
    if (outcome.request == 0) {
        return outcome;
    }
    if (token) {
        POS_GetRequestToken(outcome.request, token);
    }
    outcome.post = POS_PostRequest(outcome.request, 0);
    if (outcome.post == 0) {
        outcome.wait = POS_WaitForRequestCompleted(outcome.request, waitLimit);
    }
    if (outcome.wait == 0) {
        outcome.status = POS_GetRequestStatus(outcome.request);
        char name[16];
        char value[256];
        while (POS_GetResponseValueCount(outcome.request) > 0 &&
               POS_PopResponseValue(outcome.request, name, value, sizeof value) == 0) {
            outcome.values.emplace_back(name, value);
        }
    }
    POS_DestroyRequest(outcome.request);
    return outcome;
}
