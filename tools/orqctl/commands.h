// orqctl's commands over a Session: each checks its operands and files, then does its work with
// the device operations the editor's worker uses.
#pragma once

#include <string>
#include <vector>

#include "tools/orqctl/session.h"

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

Outcome runCommand(const Invocation& invocation);

}  // namespace orqctl
