#include "support/test_certificate.h"

std::string testCertificateFile() {
    return TEST_CERTIFICATE_FILE;
}

std::string testKeyFile() {
    return TEST_KEY_FILE;
}

ServerSettings testServerSettings(long timeoutSeconds) {
    ServerSettings settings;
    settings.port = 0;
    settings.timeoutSeconds = timeoutSeconds;
    settings.certificateChainFile = testCertificateFile();
    settings.privateKeyFile = testKeyFile();
    return settings;
}
