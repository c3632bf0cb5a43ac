// The program from start to end, the same on every system; the entry points of
// main_posix.cpp and main_win32.cpp run it.
#ifndef APP_PROGRAM_H
#define APP_PROGRAM_H

// Returns the process exit code: 0 after an orderly end or when another instance runs, 1
// when the program could not start.
int runProgram();

#endif
