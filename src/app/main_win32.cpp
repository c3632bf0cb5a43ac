#include "app/program.h"

#include <windows.h>

// The Unicode GUI entry. The program takes no options and has no window to show, so the
// command line and the show command are not used; the instance is the module's own, which
// the shell finds again through GetModuleHandleW.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    return runProgram();
}
