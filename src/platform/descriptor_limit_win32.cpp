#include "platform/descriptor_limit.h"

namespace platform {

// Windows sets no per-process limit on sockets below what memory allows; this is the
// number the program is content to plan with.
std::size_t raiseDescriptorLimit() {
    return 16384;
}

} // namespace platform
