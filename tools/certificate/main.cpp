// fiscal-printer-proxy-certificate: makes the program's certificate pair for localhost; see
// usage() in commands.cpp.
#include "commands.h"

#include <filesystem>
#include <iostream>

#ifdef _WIN32
#include <cstdio>
#include <windows.h>

// A windowed program, so that the installer shows no console window and nothing hides the
// confirmation that Windows shows for a new trusted authority; started from a console, it
// writes to that console. The arguments arrive as UTF-8, so that a folder under a user name
// with Polish letters arrives whole whatever the system's code page.
int wmain(int argc, wchar_t** argv) {
    if (AttachConsole(ATTACH_PARENT_PROCESS)) {
        std::freopen("CONOUT$", "w", stdout);
        std::freopen("CONOUT$", "w", stderr);
    }
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.push_back(std::filesystem::path(argv[i]).u8string());
    }
    return certificate::runCommand(arguments, std::cout, std::cerr);
}
#else
int main(int argc, char** argv) {
    return certificate::runCommand(std::vector<std::string>(argv + 1, argv + argc), std::cout,
                                   std::cerr);
}
#endif
