#include "support/test_certificate.h"

std::string testCertificateFile() {
    return TEST_CERTIFICATE_FOLDER "/server.crt";
}

std::string testKeyFile() {
    return TEST_CERTIFICATE_FOLDER "/server.key";
}

std::string otherCertificateFile() {
    return TEST_CERTIFICATE_FOLDER "/other.crt";
}

std::string otherKeyFile() {
    return TEST_CERTIFICATE_FOLDER "/other.key";
}

ServerSettings testServerSettings(long timeoutSeconds) {
    ServerSettings settings;
    settings.port = 0;
    settings.timeoutSeconds = timeoutSeconds;
    settings.certificateChainFile = testCertificateFile();
    settings.privateKeyFile = testKeyFile();
    return settings;
}
