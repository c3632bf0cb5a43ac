#include "platform/single_instance.h"

#include <gtest/gtest.h>
#include <string>
#include <windows.h>

namespace {

// A name of its own for each test, so that tests running side by side do not meet.
std::string mutexName() {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    return std::string("PlatformTest.") + test->name() + "." +
           std::to_string(GetCurrentProcessId());
}

std::wstring wideMutexName() {
    const std::string name = mutexName();
    return std::wstring(name.begin(), name.end());
}

TEST(SingleInstanceLock, SecondHolderOfTheSameNameIsRefused) {
    platform::SingleInstanceLock first(mutexName());
    platform::SingleInstanceLock second(mutexName());
    ASSERT_TRUE(first.acquire());
    EXPECT_FALSE(second.acquire());
}

TEST(SingleInstanceLock, ReleasedLockCanBeTakenByAnother) {
    platform::SingleInstanceLock first(mutexName());
    platform::SingleInstanceLock second(mutexName());
    ASSERT_TRUE(first.acquire());
    first.release();
    EXPECT_TRUE(second.acquire());
}

TEST(SingleInstanceLock, DestroyedHolderFreesTheName) {
    {
        platform::SingleInstanceLock first(mutexName());
        ASSERT_TRUE(first.acquire());
    }
    platform::SingleInstanceLock second(mutexName());
    EXPECT_TRUE(second.acquire());
}

TEST(SingleInstanceLock, DifferentNamesDoNotExcludeEachOther) {
    platform::SingleInstanceLock first(mutexName());
    platform::SingleInstanceLock other(mutexName() + ".other");
    ASSERT_TRUE(first.acquire());
    EXPECT_TRUE(other.acquire());
}

TEST(SingleInstanceLock, HolderKeepsTheNamedMutexOpen) {
    platform::SingleInstanceLock lock(mutexName());
    ASSERT_TRUE(lock.acquire());
    HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, wideMutexName().c_str());
    EXPECT_NE(mutex, nullptr);
    CloseHandle(mutex);
}

TEST(SingleInstanceLock, AMutexMadeElsewhereCountsAsAnotherInstance) {
    HANDLE other = CreateMutexW(nullptr, FALSE, wideMutexName().c_str());
    ASSERT_NE(other, nullptr);
    platform::SingleInstanceLock lock(mutexName());
    EXPECT_FALSE(lock.acquire());
    CloseHandle(other);
}

} // namespace
