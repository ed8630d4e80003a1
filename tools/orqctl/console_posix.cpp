#include <unistd.h>

#include <csignal>

#include "tools/orqctl/console.h"

namespace orqctl {
namespace {

void (*gOnStop)() = nullptr;

void onSignal(int) {
  if (gOnStop) gOnStop();
}

}  // namespace

std::vector<std::string> arguments(int argc, char** argv) {
  return {argv, argv + argc};
}

void watchStopRequests(void (*onStop)()) {
  gOnStop = onStop;
  struct sigaction action {};
  action.sa_handler = &onSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

bool stderrIsTerminal() {
  return ::isatty(STDERR_FILENO) != 0;
}

const char* clearLine() {
  return "\r\033[K";
}

}  // namespace orqctl
