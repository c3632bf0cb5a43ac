// A scripted stand-in for the printer library, for the cases a real printer cannot be made
// to produce on cue. Every call succeeds by default; a test forces the result of the n-th
// call of a function and reads back the calls made, with their arguments as text.
#ifndef TESTS_FAKE_POSNET_H
#define TESTS_FAKE_POSNET_H

#include "posnet/posnet.h"
#include <string>
#include <utility>
#include <vector>

namespace fakeposnet {

const POSNET_HANDLE deviceHandle = 11;
const POSNET_HANDLE device = 22;
const POSNET_HANDLE request = 33;

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

const std::vector<Call>& calls();
std::vector<std::string> callNames();

} // namespace fakeposnet

#endif
