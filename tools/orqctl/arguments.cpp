// orqctl's command line: the commands with their help, the options, and the operands that carry
// values.
#include "tools/orqctl/arguments.h"

#include <algorithm>
#include <cctype>

namespace orqctl {
namespace {

enum Flag : unsigned { kStoreFlag = 1, kForceFlag = 2, kFactoryFlag = 4, kNoSafetyFlag = 8 };

struct Command {
  const char* name;
  size_t minOperands, maxOperands;
  unsigned flags;
  const char* help;
};

// clang-format off
const Command kCommands[] = {
    {"devices", 0, 0, 0,
     "usage: orqctl devices [--port NAME] [--json]\n"
     "Lists the MIDI ports whose names carry an ORQ device tag, each with its direction and the\n"
     "model the tag names (0: OR- or KTA, 1: KTB, 2: KTC).\n"},
    {"info", 0, 0, 0,
     "usage: orqctl info [--port NAME] [--json]\n"
     "Reads the device as the editor does when it connects, and shows its model, firmware\n"
     "version, the current program (0 unless the device has announced another), the MIDI\n"
     "channel, the boost lock and the names of the six user IR slots.\n"},
    {"get", 0, 1, 0,
     "usage: orqctl get [PROGRAM] [--port NAME] [--json]\n"
     "Shows the settings of PROGRAM (0 to 127; default: the current program) as NAME=VALUE\n"
     "lines that orqctl set takes back.\n"},
    {"set", 1, 64, kStoreFlag,
     "usage: orqctl set [PROGRAM] NAME=VALUE... [--store] [--port NAME] [--json]\n"
     "Changes settings of PROGRAM (default: the current program), sends the program's whole\n"
     "settings and reads them back. --store then makes the device keep them.\n"
     "  channel=1|2  boost1=on|off  boost2=on|off  loop-bypass=on|off  ir-bypass=on|off\n"
     "  ir1=1|2|3 (slot of channel 1)  ir2=4|5|6 (slot of channel 2)\n"
     "  presence1, presence2, deep1, deep2 (or thump1, thump2), lowpass1, lowpass2 = 1|2|3\n"
     "  gate1, gate2 = off|20|50|80\n"
     "  midi-channel=omni|1..16  boost-lock=on|off  (device-wide; every program's message\n"
     "  carries them)\n"},
    {"store", 0, 0, 0,
     "usage: orqctl store [--port NAME] [--json]\n"
     "Makes the device keep its current settings (the panel's STORE).\n"},
    {"backup", 1, 1, 0,
     "usage: orqctl backup FILE.syx [--port NAME] [--json]\n"
     "Reads all 128 programs and writes them to FILE.syx as 128 WRITE_SETTINGS messages, a\n"
     "standard .syx file. Each message carries the device's MIDI channel and boost lock too.\n"
     "FILE.syx is replaced only once the whole backup has been read.\n"},
    {"restore", 1, 1, kStoreFlag | kNoSafetyFlag,
     "usage: orqctl restore FILE.syx [--store] [--no-safety-backup] [--port NAME] [--json]\n"
     "Checks every message of FILE.syx first: a file that is not exactly the 128 programs, each\n"
     "once, with values in range and one MIDI channel and boost lock, is refused whole and\n"
     "nothing is sent (status 3). Then reads the device's own 128 programs into a safety backup\n"
     "(see below), sends the file's programs, which also set the MIDI channel and boost lock of\n"
     "the file, and reads each back. --store makes the device keep them.\n"
     "The safety backup goes into ~/.local/share/orq-editor/backups ($XDG_DATA_HOME), named by\n"
     "the date and time; the newest 20 are kept. Nothing is sent unless it was written.\n"
     "--no-safety-backup restores without one.\n"},
    {"ir list", 0, 0, 0,
     "usage: orqctl ir list [--json]\n"
     "Lists the 18 factory IRs that orqctl ir load --factory sends.\n"},
    {"ir load", 1, 2, kFactoryFlag,
     "usage: orqctl ir load SLOT FILE.wav [--port NAME] [--json]\n"
     "       orqctl ir load SLOT --factory N [--port NAME] [--json]\n"
     "Loads a WAV file (44100 to 96000 Hz, mono or stereo; its first channel, without the quiet\n"
     "lead-in, resampled to 48 kHz and cut to 4096 samples) or factory IR N (number or name, see\n"
     "orqctl ir list) into user slot SLOT (1 to 6), as the editor does.\n"},
    {"ir export", 1, 1, 0,
     "usage: orqctl ir export DIR [--json]\n"
     "Writes the 18 factory IRs into DIR as WAV files (32-bit float, mono, 48 kHz), as the\n"
     "editor's EXTRACT ALL does. DIR is made if it does not exist.\n"},
    {"firmware", 1, 1, kForceFlag | kNoSafetyFlag,
     "usage: orqctl firmware FILE.bin [--force] [--no-safety-backup] [--port NAME] [--json]\n"
     "Sends a firmware image from a file: exactly 131072 bytes with a version stamp, and newer\n"
     "than the device's firmware unless --force is given. The device restarts into it; orqctl\n"
     "waits for it to come back and checks the version it reports. First the device's 128\n"
     "programs go into a safety backup, as for restore (--no-safety-backup: none).\n"},
};
// clang-format on

const char kUsageText[] =
    "usage: orqctl COMMAND [ARGS...] [--port NAME] [--json]\n"
    "The ORQ editor's jobs from a terminal.\n"
    "\n"
    "  devices                       the device ports found\n"
    "  info                          model, firmware, program, MIDI channel, slot names\n"
    "  get [PROGRAM]                 the settings of a program\n"
    "  set [PROGRAM] NAME=VALUE...   change settings (--store keeps them)\n"
    "  store                         make the device keep its settings\n"
    "  backup FILE.syx               all 128 programs into a .syx file\n"
    "  restore FILE.syx              all 128 programs back from one (--store keeps them)\n"
    "  ir list                       the factory IRs\n"
    "  ir load SLOT FILE.wav         a WAV file into user slot 1..6 (or --factory N)\n"
    "  ir export DIR                 the factory IRs as WAV files\n"
    "  firmware FILE.bin             a firmware image (--force: also when not newer)\n"
    "\n"
    "  --port NAME   the device whose port names contain NAME, when there are several\n"
    "  --json        results as JSON on standard output\n"
    "  --help        this text, or a command's (orqctl COMMAND --help)\n"
    "\n"
    "Exit status: 0 done, 1 no device or it did not answer, 2 usage, 3 bad file,\n"
    "130 interrupted (Ctrl-C stops between messages).\n";

const Command* findCommand(const std::string& name) {
  for (const Command& c : kCommands)
    if (name == c.name) return &c;
  return nullptr;
}

// A command line that ends before any command runs, with what it prints.
CommandLine ends(int status, std::string out, std::string err = {}) {
  return {{}, false, {status, std::move(out), std::move(err)}};
}

CommandLine usageError(const std::string& why, const std::string& command) {
  return ends(
      kUsage, {},
      "orqctl: " + why + "\n(see orqctl " + (command.empty() ? "" : command + " ") + "--help)\n");
}

// The program operand, or the editor's current program (0 until the device names another).
bool programOperand(const std::vector<std::string>& operands, size_t& next, int& program,
                    std::string& error) {
  program = -1;
  if (next < operands.size() && operands[next].find('=') == std::string::npos) {
    if (!parseNumber(operands[next], 0, 127, program)) {
      error = "program '" + operands[next] + "': programs are numbered 0 to 127";
      return false;
    }
    ++next;
  }
  return true;
}

}  // namespace

CommandLine readCommandLine(const std::vector<std::string>& argv) {
  const int argc = static_cast<int>(argv.size());
  Invocation inv;
  bool help = false;
  unsigned flags = 0;
  bool operandsOnly = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool option = !operandsOnly && a.size() > 1 && a[0] == '-';
    if (!option) {
      if (inv.command.empty()) {
        inv.command = a;
      } else if (inv.command == "ir" && inv.operands.empty()) {
        inv.command += " " + a;
      } else {
        inv.operands.push_back(a);
      }
      continue;
    }
    // An option's value: the next argument, or after '=' (--port=NAME).
    std::string name = a;
    std::string value;
    bool hasValue = false;
    if (const size_t eq = a.find('='); eq != std::string::npos && a.rfind("--", 0) == 0) {
      name = a.substr(0, eq);
      value = a.substr(eq + 1);
      hasValue = true;
    }
    const auto takeValue = [&]() {
      if (hasValue) return true;
      if (i + 1 >= argc) return false;
      value = argv[++i];
      return true;
    };
    if (name == "--") {
      operandsOnly = true;
    } else if (name == "--help" || name == "-h") {
      help = true;
    } else if (name == "--json") {
      inv.json = true;
    } else if (name == "--store") {
      inv.store = true;
      flags |= kStoreFlag;
    } else if (name == "--force") {
      inv.force = true;
      flags |= kForceFlag;
    } else if (name == "--no-safety-backup") {
      inv.safetyBackup = false;
      flags |= kNoSafetyFlag;
    } else if (name == "--port") {
      if (!takeValue()) return usageError("--port needs a NAME", inv.command);
      inv.port = value;
    } else if (name == "--factory") {
      if (!takeValue()) return usageError("--factory needs N", inv.command);
      inv.factory = value;
      inv.hasFactory = true;
      flags |= kFactoryFlag;
    } else {
      return usageError("no option '" + a + "'", inv.command);
    }
  }

  if (inv.command.empty()) return help ? ends(kDone, kUsageText) : ends(kUsage, {}, kUsageText);
  if (inv.command == "ir" && help) {
    std::string text;
    for (const char* sub : {"ir list", "ir load", "ir export"}) text += findCommand(sub)->help;
    return ends(kDone, text);
  }
  const Command* command = findCommand(inv.command);
  if (!command) {
    return usageError(
        inv.command == "ir" ? "ir takes list, load or export" : "no command '" + inv.command + "'",
        "");
  }
  if (help) return ends(kDone, command->help);
  if (flags & ~command->flags)
    return usageError("an option that " + inv.command + " does not take", inv.command);
  if (inv.operands.size() < command->minOperands || inv.operands.size() > command->maxOperands)
    return usageError("wrong number of arguments for " + inv.command, inv.command);
  return {std::move(inv), true, {}};
}

bool parseNumber(const std::string& text, int low, int high, int& out) {
  const auto digit = [](char c) { return c >= '0' && c <= '9'; };
  if (text.empty() || text.size() > 3 || !std::all_of(text.begin(), text.end(), digit))
    return false;
  out = std::stoi(text);
  return out >= low && out <= high;
}

ProgramOperands getOperands(const std::vector<std::string>& operands) {
  ProgramOperands o;
  size_t next = 0;
  if (!programOperand(operands, next, o.program, o.error) || next != operands.size()) {
    if (o.error.empty()) o.error = "get takes at most one program number";
  }
  return o;
}

ProgramOperands setOperands(const std::vector<std::string>& operands) {
  ProgramOperands o;
  size_t next = 0;
  if (!programOperand(operands, next, o.program, o.error)) return o;
  for (; next < operands.size(); ++next) {
    SettingEdit e;
    o.error = parseSetting(operands[next], e);
    if (!o.error.empty()) return o;
    o.edits.push_back(e);
  }
  if (o.edits.empty()) o.error = "set needs at least one NAME=VALUE";
  return o;
}

int factoryEntry(const std::string& text, const std::vector<std::string>& names) {
  int n = 0;
  if (parseNumber(text, 1, static_cast<int>(names.size()), n)) return n - 1;
  std::string upper = text;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (size_t i = 0; i < names.size(); ++i)
    if (names[i] == upper) return static_cast<int>(i);
  return -1;
}

}  // namespace orqctl
