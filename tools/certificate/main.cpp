// fiscal-printer-proxy-certificate: makes the program's certificate pair for localhost; see
// usage() in commands.cpp.
#include "commands.h"

#include <iostream>

int main(int argc, char** argv) {
    return certificate::runCommand(std::vector<std::string>(argv + 1, argv + argc), std::cout,
                                   std::cerr);
}
