// How every request is handed to the printer library: posted in the ordinary mode and
// waited for up to POSNET_WAIT_LIMIT_MS, at most outputQueueLength of them awaiting answers.
#ifndef POSNET_REQUEST_LIMITS_H
#define POSNET_REQUEST_LIMITS_H

#include <cstdint>

namespace posnet {

const uint8_t postMode = 0;
const int32_t outputQueueLength = 5;

} // namespace posnet

#endif
