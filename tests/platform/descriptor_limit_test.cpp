#include "platform/descriptor_limit.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace {

// What is returned is the limit then in force: the connection limit is half of it, so a number
// above it would let connections fail for want of descriptors.
TEST(DescriptorLimit, SoftLimitIsRaisedToTheHardOneAndReturnedAsInForce) {
    rlimit original{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &original), 0);
    for (const rlim_t soft : {std::min<rlim_t>(original.rlim_max, 256), original.rlim_max}) {
        rlimit lowered = original;
        lowered.rlim_cur = soft;
        ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);
        const std::size_t returned = platform::raiseDescriptorLimit();
        rlimit now{};
        ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &now), 0);
        EXPECT_EQ(now.rlim_cur, original.rlim_max) << "from " << soft;
        EXPECT_EQ(returned, static_cast<std::size_t>(now.rlim_cur)) << "from " << soft;
    }
    ::setrlimit(RLIMIT_NOFILE, &original);
}

} // namespace
