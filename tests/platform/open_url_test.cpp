#include "platform/open_url.h"
#include "support/temporary_folder.h"

#include <boost/filesystem/fstream.hpp>
#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>
#include <iterator>
#include <thread>

namespace {

namespace fs = boost::filesystem;

// Waits for a file that another process writes; gives up after a generous while so that a
// broken hand-over fails the test instead of hanging it.
std::string awaitFile(const fs::path& file) {
    for (int attempt = 0; attempt < 600 && !fs::exists(file); ++attempt)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    fs::ifstream in(file);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(OpenUrlTest, AddressReachesTheDesktopOpenerAsOneArgument) {
    TemporaryFolder bin;
    const fs::path received = bin.path() / "received";
    const fs::path opener = bin.path() / "xdg-open";
    {
        fs::ofstream script(opener);
        script << "#!/bin/sh\nprintf '%s|%s' \"$#\" \"$1\" > " << received << ".part\nmv "
               << received << ".part " << received << "\n";
    }
    fs::permissions(opener, fs::owner_all);
    setenv("PATH", (bin.path().string() + ":/usr/bin:/bin").c_str(), 1);

    platform::openUrl("https://app.example/a b?x=1&y=2");

    EXPECT_EQ(awaitFile(received), "1|https://app.example/a b?x=1&y=2");
}

} // namespace
