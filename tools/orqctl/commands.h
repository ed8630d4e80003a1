// orqctl's commands over a Session: each checks its operands and files, then does its work with
// the device operations the editor's worker uses.
#pragma once

#include "tools/orqctl/arguments.h"
#include "tools/orqctl/session.h"

namespace orqctl {

Outcome runCommand(const Invocation& invocation);

}  // namespace orqctl
