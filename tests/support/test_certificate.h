// The test certificate pairs for localhost and 127.0.0.1, generated at build time, and
// server settings that use the first.
#ifndef SUPPORT_TEST_CERTIFICATE_H
#define SUPPORT_TEST_CERTIFICATE_H

#include "transport/server.h"
#include <string>

std::string testCertificateFile();
std::string testKeyFile();
// A second pair, which no test server serves from the start.
std::string otherCertificateFile();
std::string otherKeyFile();

// Port 0 (the system picks a free one; ask the server for it), the test certificate pair,
// and a timeout long enough for a busy machine. Tests of the timeouts pass a short one.
ServerSettings testServerSettings(long timeoutSeconds = 10);

#endif
