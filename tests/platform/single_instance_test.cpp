#include "platform/single_instance.h"
#include "support/data_home.h"
#include "support/temporary_folder.h"

#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/file.h>
#include <system_error>
#include <unistd.h>

namespace {

class SingleInstanceLockTest : public ::testing::Test {
protected:
    SingleInstanceLockTest() { setenv("XDG_RUNTIME_DIR", runtimeDir.path().c_str(), 1); }

    TemporaryFolder runtimeDir;
};

TEST_F(SingleInstanceLockTest, SecondHolderOfTheSameNameIsRefused) {
    platform::SingleInstanceLock first("TestMutex");
    platform::SingleInstanceLock second("TestMutex");
    ASSERT_TRUE(first.acquire());
    EXPECT_FALSE(second.acquire());
}

TEST_F(SingleInstanceLockTest, ReleasedLockCanBeTakenByAnother) {
    platform::SingleInstanceLock first("TestMutex");
    platform::SingleInstanceLock second("TestMutex");
    ASSERT_TRUE(first.acquire());
    first.release();
    EXPECT_TRUE(second.acquire());
}

TEST_F(SingleInstanceLockTest, DestroyedHolderFreesTheName) {
    {
        platform::SingleInstanceLock first("TestMutex");
        ASSERT_TRUE(first.acquire());
    }
    platform::SingleInstanceLock second("TestMutex");
    EXPECT_TRUE(second.acquire());
}

TEST_F(SingleInstanceLockTest, DifferentNamesDoNotExcludeEachOther) {
    platform::SingleInstanceLock first("TestMutex");
    platform::SingleInstanceLock other("OtherMutex");
    ASSERT_TRUE(first.acquire());
    EXPECT_TRUE(other.acquire());
}

TEST_F(SingleInstanceLockTest, LockFileLivesInTheRuntimeFolder) {
    platform::SingleInstanceLock lock("TestMutex");
    ASSERT_TRUE(lock.acquire());
    EXPECT_TRUE(boost::filesystem::exists(runtimeDir.path() / "TestMutex.lock"));
}

// Another user may have taken the name in the shared temporary folder; without a runtime
// folder the lock lives in the user's own data folder instead.
TEST_F(SingleInstanceLockTest, DataFolderServesWhenNoRuntimeFolderIsSet) {
    TemporaryFolder temp;
    TemporaryDataHome dataHome;
    const char* previous = std::getenv("TMPDIR");
    const std::string savedTmpdir = previous != nullptr ? previous : "";
    unsetenv("XDG_RUNTIME_DIR");
    setenv("TMPDIR", temp.path().c_str(), 1);
    const int othersLock =
        ::open((temp.path() / "TestMutex.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_EQ(::flock(othersLock, LOCK_EX | LOCK_NB), 0);
    platform::SingleInstanceLock lock("TestMutex");
    const bool acquired = lock.acquire();
    if (previous != nullptr)
        setenv("TMPDIR", savedTmpdir.c_str(), 1);
    else
        unsetenv("TMPDIR");
    ::close(othersLock);
    ASSERT_TRUE(acquired);
    EXPECT_TRUE(
        boost::filesystem::exists(dataHome.path() / "TrivaneFiscalProxy" / "TestMutex.lock"));
}

TEST_F(SingleInstanceLockTest, UnusableFolderIsAnErrorNotAnotherInstance) {
    setenv("XDG_RUNTIME_DIR", (runtimeDir.path() / "missing").c_str(), 1);
    platform::SingleInstanceLock lock("TestMutex");
    EXPECT_THROW(lock.acquire(), std::system_error);
}

} // namespace
