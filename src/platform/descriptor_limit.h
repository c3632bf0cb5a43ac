// How many sockets and files the process may hold open at once.
#ifndef PLATFORM_DESCRIPTOR_LIMIT_H
#define PLATFORM_DESCRIPTOR_LIMIT_H

#include <cstddef>

namespace platform {

// Raises the limit as far as the system lets this process raise it (on POSIX the soft
// limit of open descriptors to the hard one) and returns the limit then in force.
std::size_t raiseDescriptorLimit();

} // namespace platform

#endif
