// orqctl: the editor's jobs from a terminal, for scripts and machines without a screen: device
// information, settings, backups of all 128 programs, IR loading and export, firmware.
// Exit status: 0 done, 1 no device (or it did not answer), 2 usage, 3 bad file, 130 Ctrl-C.
#include <cstdio>
#include <string>

#include "tools/orqctl/arguments.h"
#include "tools/orqctl/commands.h"
#include "tools/orqctl/console.h"

int main(int argc, char** rawArgv) {
  const orqctl::CommandLine line = orqctl::readCommandLine(orqctl::arguments(argc, rawArgv));
  if (!line.run) {  // a help text, the usage, or what is wrong with the command line
    std::fputs(line.outcome.out.c_str(), stdout);
    std::fputs(line.outcome.err.c_str(), stderr);
    return line.outcome.status;
  }
  const orqctl::Invocation& inv = line.invocation;
  const orqctl::Outcome o = orqctl::runCommand(inv);
  std::fputs(o.out.c_str(), stdout);
  std::fflush(stdout);
  // Each line of a message, as the program's own.
  for (size_t at = 0; at < o.err.size();) {
    size_t end = o.err.find('\n', at);
    if (end == std::string::npos) end = o.err.size();
    std::fprintf(stderr, "orqctl: %s\n", o.err.substr(at, end - at).c_str());
    at = end + 1;
  }
  if (o.status != orqctl::kDone && inv.json) {
    std::printf("{\"error\": %s, \"status\": %d}\n", orqctl::jsonString(o.err).c_str(), o.status);
  }
  if (o.status == orqctl::kUsage)
    std::fprintf(stderr, "(see orqctl %s --help)\n", inv.command.c_str());
  return o.status;
}
