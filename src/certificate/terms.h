// What the program and its certificate companion agree on: how long a pair lives, when it is
// renewed, and what the companion's exit code says.
#ifndef CERTIFICATE_TERMS_H
#define CERTIFICATE_TERMS_H

namespace certificate {

// How long a new pair is valid: within the 398 days that browsers accept for a server
// certificate.
constexpr int validityDays = 397;
// A pair that ends within this many days is replaced.
constexpr int renewalDays = 30;

// Exit codes of the companion.
enum ExitCode { Done = 0, Failed = 1, BadUsage = 2, NotTrusted = 3 };

} // namespace certificate

#endif
