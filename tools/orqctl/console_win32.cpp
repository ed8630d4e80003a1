#include <io.h>
#include <windows.h>
// (the shell's header after windows.h)
#include <shellapi.h>

#include <atomic>
#include <cstdio>

#include "files/file_path.h"
#include "tools/orqctl/console.h"

namespace orqctl {
namespace {

std::atomic<void (*)()> gOnStop{nullptr};

// The console calls it on a thread of its own. Ctrl-C and Ctrl-Break only: a console that is
// closed ends the process once this returns, whatever it answers.
BOOL WINAPI onConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  if (void (*onStop)() = gOnStop.load()) onStop();
  return TRUE;
}

}  // namespace

std::vector<std::string> arguments(int argc, char** argv) {
  SetConsoleOutputCP(CP_UTF8);
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!wide) return {argv, argv + argc};
  std::vector<std::string> out;
  for (int i = 0; i < count; ++i) out.push_back(orq::nativePath(wide[i]));
  LocalFree(wide);
  return out;
}

void watchStopRequests(void (*onStop)()) {
  gOnStop = onStop;
  SetConsoleCtrlHandler(&onConsoleEvent, TRUE);
}

bool stderrIsTerminal() {
  return _isatty(_fileno(stderr)) != 0;
}

// Consoles show terminal sequences only when told to: spaces over the bar instead.
const char* clearLine() {
  return "\r                                                                              \r";
}

}  // namespace orqctl
