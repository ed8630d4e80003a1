// orqctl's command line, read before anything touches a device or a file: the command, its
// options and operands, and the operands that carry values (program and slot numbers,
// NAME=VALUE settings, factory IR entries). Pure functions; no device, no file.
#pragma once

#include <string>
#include <vector>

#include "tools/orqctl/outcome.h"
#include "tools/orqctl/settings_text.h"

namespace orqctl {

struct Invocation {
  std::string command;  // "info", "ir load", ...
  std::vector<std::string> operands;
  std::string port;     // --port
  std::string factory;  // --factory, when given
  bool hasFactory = false;
  bool json = false;
  bool store = false;
  bool force = false;
  bool safetyBackup = true;  // --no-safety-backup clears it
};

// The arguments (argv[0] first, each UTF-8) read into an Invocation of a known command with
// the options it takes and its number of operands. `run` false: the command line ends here, with
// `outcome` to print as it is (the usage, a help text, or what is wrong with the line).
struct CommandLine {
  Invocation invocation;
  bool run = false;
  Outcome outcome;
};
CommandLine readCommandLine(const std::vector<std::string>& argv);

// True when `text` is 1 to 3 decimal digits naming a number within low..high.
bool parseNumber(const std::string& text, int low, int high, int& out);

// The operands of get ([PROGRAM]) and of set ([PROGRAM] NAME=VALUE..., at least one). `program`
// is -1 when none is given (the device's current program); `error` says what is wrong, else is
// empty.
struct ProgramOperands {
  int program = -1;
  std::vector<SettingEdit> edits;
  std::string error;
};
ProgramOperands getOperands(const std::vector<std::string>& operands);
ProgramOperands setOperands(const std::vector<std::string>& operands);

// --factory N: the entry numbered N (1 to names.size()), or the one whose name N is in any case
// (`names` upper case); -1 when there is none.
int factoryEntry(const std::string& text, const std::vector<std::string>& names);

}  // namespace orqctl
