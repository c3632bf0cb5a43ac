#include "platform/app_data.h"
#include "support/data_home.h"
#include <boost/filesystem/operations.hpp>
#include <cstdlib>
#include <gtest/gtest.h>
#include <stdexcept>

namespace {

// Sets an environment variable for one test and restores it afterwards.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const char* value) : name(name) {
        if (const char* old = std::getenv(name)) {
            previous = old;
            hadValue = true;
        }
        if (value != nullptr) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }
    ~ScopedVariable() {
        if (hadValue) {
            setenv(name, previous.c_str(), 1);
        } else {
            unsetenv(name);
        }
    }

private:
    const char* name;
    std::string previous;
    bool hadValue = false;
};

} // namespace

TEST(LocalAppDataFolder, IsXdgDataHomeWhenSet) {
    TemporaryDataHome dataHome;
    EXPECT_EQ(platform::localAppDataFolder(), dataHome.path());
}

TEST(LocalAppDataFolder, FallsBackToHomeWhenXdgDataHomeIsUnsetOrRelative) {
    ScopedVariable home("HOME", "/home/someone");
    {
        ScopedVariable unset("XDG_DATA_HOME", nullptr);
        EXPECT_EQ(platform::localAppDataFolder(), "/home/someone/.local/share");
    }
    ScopedVariable relative("XDG_DATA_HOME", "relative/data");
    EXPECT_EQ(platform::localAppDataFolder(), "/home/someone/.local/share");
}

TEST(LocalAppDataFolder, ThrowsWhenNeitherVariableHelps) {
    ScopedVariable home("HOME", nullptr);
    ScopedVariable dataHome("XDG_DATA_HOME", nullptr);
    EXPECT_THROW(platform::localAppDataFolder(), std::runtime_error);
}

TEST(CreateDirectory, CreatesOneLevelAndAcceptsAnExistingFolder) {
    TemporaryDataHome dataHome;
    const boost::filesystem::path folder = dataHome.path() / "one";
    EXPECT_TRUE(platform::createDirectory(folder));
    EXPECT_TRUE(boost::filesystem::is_directory(folder));
    EXPECT_TRUE(platform::createDirectory(folder));
    EXPECT_FALSE(platform::createDirectory(dataHome.path() / "missing" / "two"));
}
