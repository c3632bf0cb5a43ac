#include "platform/open_url.h"

#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace platform {

// The browser start is fire-and-forget, as on Windows: a missing xdg-open or a failing
// browser shows nothing. The child is reaped off the caller's thread so that it neither
// blocks the caller nor lingers as a zombie.
void openUrl(const std::string& url) {
    std::string program = "xdg-open";
    std::string argument = url;
    char* arguments[] = {program.data(), argument.data(), nullptr};
    pid_t child = 0;
    if (::posix_spawnp(&child, program.c_str(), nullptr, nullptr, arguments, environ) != 0)
        return;
    std::thread([child] {
        int status = 0;
        ::waitpid(child, &status, 0);
    }).detach();
}

} // namespace platform
