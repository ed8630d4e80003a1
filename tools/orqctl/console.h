// What orqctl needs of the terminal it runs in, one file per system (console_posix.cpp,
// console_win32.cpp): its arguments as UTF-8, the stop request (Ctrl-C), and the progress
// bar's line.
#pragma once

#include <string>
#include <vector>

namespace orqctl {

// The program's arguments, each as UTF-8 (on Windows read wide: the narrow ones have gone
// through the ANSI code page, which loses every character outside it). Also makes the console
// show UTF-8 output where it needs telling.
std::vector<std::string> arguments(int argc, char** argv);

// Calls `onStop` at each stop request: Ctrl-C (and SIGTERM, or Ctrl-Break on Windows). It may
// run on any thread, or in a signal handler: it must do only what those allow.
void watchStopRequests(void (*onStop)());

bool stderrIsTerminal();

// What erases the line the progress bar is on.
const char* clearLine();

}  // namespace orqctl
