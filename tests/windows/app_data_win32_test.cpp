#include "platform/app_data.h"

#include <boost/filesystem/operations.hpp>
#include <gtest/gtest.h>

namespace {

namespace fs = boost::filesystem;

class CreateDirectoryTest : public ::testing::Test {
protected:
    CreateDirectoryTest()
        : folder(fs::temp_directory_path() / fs::unique_path("platform-test-%%%%-%%%%")) {}
    ~CreateDirectoryTest() override { fs::remove_all(folder); }

    fs::path folder;
};

TEST(LocalAppDataFolder, IsAnExistingAbsoluteFolder) {
    const fs::path appData = platform::localAppDataFolder();
    EXPECT_TRUE(appData.is_absolute()) << appData;
    EXPECT_TRUE(fs::is_directory(appData)) << appData;
}

TEST_F(CreateDirectoryTest, CreatesAMissingFolder) {
    EXPECT_TRUE(platform::createDirectory(folder));
    EXPECT_TRUE(fs::is_directory(folder));
}

TEST_F(CreateDirectoryTest, AnExistingFolderCountsAsCreated) {
    ASSERT_TRUE(platform::createDirectory(folder));
    EXPECT_TRUE(platform::createDirectory(folder));
}

TEST_F(CreateDirectoryTest, DoesNotCreateMissingParents) {
    EXPECT_FALSE(platform::createDirectory(folder / "child"));
    EXPECT_FALSE(fs::exists(folder));
}

TEST_F(CreateDirectoryTest, NamesWithPolishLettersArePassedWhole) {
    ASSERT_TRUE(platform::createDirectory(folder));
    const fs::path polish = folder / fs::path(L"Zażółć");
    EXPECT_TRUE(platform::createDirectory(polish));
    EXPECT_TRUE(fs::is_directory(polish));
}

} // namespace
