#include "support/data_home.h"

#include <boost/filesystem/operations.hpp>
#include <cstdlib>

TemporaryDataHome::TemporaryDataHome()
    : folder(boost::filesystem::temp_directory_path() /
             boost::filesystem::unique_path("data-home-%%%%-%%%%-%%%%")) {
    boost::filesystem::create_directories(folder);
    if (const char* value = std::getenv("XDG_DATA_HOME")) {
        previous = std::string(value);
    }
    setenv("XDG_DATA_HOME", folder.c_str(), 1);
}

TemporaryDataHome::~TemporaryDataHome() {
    if (previous) {
        setenv("XDG_DATA_HOME", previous->c_str(), 1);
    } else {
        unsetenv("XDG_DATA_HOME");
    }
    boost::system::error_code ignored; // a leftover temporary folder harms nothing
    boost::filesystem::remove_all(folder, ignored);
}
