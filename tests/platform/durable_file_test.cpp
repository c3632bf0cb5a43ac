#include "platform/durable_file.h"
#include "support/temporary_folder.h"

#include <boost/filesystem/fstream.hpp>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

namespace fs = boost::filesystem;

std::string contentOf(const fs::path& file) {
    fs::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A key file replaced over a readable one is never readable by others, and a file written
// whole leaves no temporary file behind.
TEST(DurableFile, ReplacesWholeWithTheAccessAsked) {
    struct Case {
        platform::FileAccess access;
        mode_t mode;
    };
    for (const Case& c :
         {Case{platform::FileAccess::Shared, 0644}, Case{platform::FileAccess::OwnerOnly, 0600}}) {
        TemporaryFolder folder;
        const fs::path target = folder.path() / "server.key";
        platform::replaceFileAtomically(target, "old", platform::FileAccess::Shared);
        fs::ofstream(folder.path() / "server.key.tmp") << "a leftover of a crash";
        platform::replaceFileAtomically(target, "new", c.access);
        struct stat status {};
        ASSERT_EQ(::stat(target.c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 0777, c.mode);
        EXPECT_EQ(contentOf(target), "new");
        EXPECT_FALSE(fs::exists(folder.path() / "server.key.tmp"));
    }
}

// The step tells a caller whether the file could not be made or not put in place; the old
// content stays and no temporary file is left.
TEST(DurableFile, FailureNamesTheStepAndKeepsTheTarget) {
    TemporaryFolder folder;
    fs::create_directories(folder.path() / "taken" / "inside");
    struct Case {
        fs::path target;
        platform::FileWriteError::Step step;
    };
    for (const Case& c :
         {Case{folder.path() / "missing" / "config.json", platform::FileWriteError::Step::Open},
          Case{folder.path() / "taken", platform::FileWriteError::Step::Replace}}) {
        try {
            platform::replaceFileAtomically(c.target, "content");
            ADD_FAILURE() << c.target << " was written";
        } catch (const platform::FileWriteError& error) {
            EXPECT_EQ(error.step, c.step) << error.what();
            EXPECT_NE(std::string(error.what()).find(c.target.string()), std::string::npos);
        }
        EXPECT_FALSE(fs::exists(c.target.string() + ".tmp"));
    }
    EXPECT_TRUE(fs::exists(folder.path() / "taken" / "inside"));
}

} // namespace
