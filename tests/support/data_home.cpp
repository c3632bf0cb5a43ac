#include "support/data_home.h"

#include <cstdlib>

TemporaryDataHome::TemporaryDataHome() {
    if (const char* value = std::getenv("XDG_DATA_HOME")) {
        previous = std::string(value);
    }
    setenv("XDG_DATA_HOME", folder.path().c_str(), 1);
}

TemporaryDataHome::~TemporaryDataHome() {
    if (previous) {
        setenv("XDG_DATA_HOME", previous->c_str(), 1);
    } else {
        unsetenv("XDG_DATA_HOME");
    }
}
