// Feeds arbitrary command lines to orqctl's reader and checks what the commands rely on before
// they touch a device:
//   - a line that ends before a command runs ends with a help text (status 0) or a message
//     for stderr (status 2), never both and never neither;
//   - get and set name no program outside 0..127; every setting set takes (NAME=VALUE, as an
//     operand or alone) is one of the panel's values, and the line get prints for it reads back
//     as the same change, on both models' names;
//   - ir load names no slot outside 1..6 and no factory entry outside the list, and the entry
//     it names is found again by its number and by its name.
// Input: the arguments after the program's name, separated by NUL bytes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "device/settings_file.h"
#include "state/editor_state.h"
#include "tools/orqctl/arguments.h"

namespace {

void check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}

// Names in the catalogue's style (A-Z, 0-9, space, '+', '-').
const std::vector<std::string> kNames = {"4X12 CLOSED DYN", "2X12 OPEN EDGE", "1X12 OPEN CAP",
                                         "BASS 8X10",       "ROOM+",          "DI-1"};

orq::ProgramSettings base() {  // every value in range
  orq::ProgramSettings s;
  s.program = 5;
  s.words = {0, 1, 0, 1, 0, 2, 1, 2, 2, 2, 2, 2, 2, 1, 3};
  return s;
}

// A setting that parsed: in range once applied, and the text get shows for it reads back.
void checkSetting(const orqctl::SettingEdit& e) {
  orq::ProgramSettings s = base();
  orqctl::applySetting(e, s);
  check(orq::checkSettings(s).empty(), "a setting set takes is in range");
  // The device-wide values are not among get's lines; they read back as info shows them.
  const std::string name = orqctl::settingNames(1)[static_cast<size_t>(e.field)];
  std::vector<std::string> lines;
  if (name == "midi-channel") {
    lines = {name + "=" + orqctl::midiChannelText(s.midiChannel)};
  } else if (name == "boost-lock") {
    lines = {name + "=" + (s.boostLock ? "on" : "off")};
  } else {
    for (int model : {0, 1}) {
      const std::string text = orqctl::settingsText(s, model);
      size_t at = 0;
      for (int i = 0; i < e.field; ++i) at = text.find('\n', at) + 1;
      lines.push_back(text.substr(at, text.find('\n', at) - at));
    }
  }
  for (const std::string& line : lines) {
    orqctl::SettingEdit again;
    check(orqctl::parseSetting(line, again).empty(), "get's line is taken by set");
    check(again.field == e.field && again.value == e.value, "get's line reads back the same");
  }
}

void checkProgramOperands(const orqctl::ProgramOperands& o, bool set) {
  if (!o.error.empty()) return;
  check(o.program >= -1 && o.program <= 127, "program 0..127 (or none)");
  check(!set || !o.edits.empty(), "set changes something");
  for (const orqctl::SettingEdit& e : o.edits) checkSetting(e);
}

void checkIrLoad(const orqctl::Invocation& inv) {
  int slot = 0;
  if (orqctl::parseNumber(inv.operands[0], 1, orq::kSlotCount, slot))
    check(slot >= 1 && slot <= orq::kSlotCount, "slot 1..6");
  if (!inv.hasFactory) return;
  const int entry = orqctl::factoryEntry(inv.factory, kNames);
  check(entry >= -1 && entry < static_cast<int>(kNames.size()), "an entry of the list");
  if (entry < 0) return;
  check(orqctl::factoryEntry(std::to_string(entry + 1), kNames) == entry, "found by number");
  check(orqctl::factoryEntry(kNames[static_cast<size_t>(entry)], kNames) == entry, "found by name");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> argv{"orqctl"};
  std::string arg;
  for (size_t i = 0; i <= size; ++i) {
    if (i == size || data[i] == 0) {
      argv.push_back(arg);
      arg.clear();
    } else {
      arg += static_cast<char>(data[i]);
    }
  }

  for (size_t i = 1; i < argv.size(); ++i) {
    orqctl::SettingEdit e;
    if (orqctl::parseSetting(argv[i], e).empty()) checkSetting(e);
  }

  const orqctl::CommandLine line = orqctl::readCommandLine(argv);
  if (!line.run) {
    const orqctl::Outcome& o = line.outcome;
    check(o.status == orqctl::kDone || o.status == orqctl::kUsage, "status 0 or 2");
    check((o.status == orqctl::kDone) == (!o.out.empty() && o.err.empty()),
          "help on stdout, or a message on stderr");
    return 0;
  }
  const orqctl::Invocation& inv = line.invocation;
  if (inv.command == "get") checkProgramOperands(orqctl::getOperands(inv.operands), false);
  if (inv.command == "set") checkProgramOperands(orqctl::setOperands(inv.operands), true);
  if (inv.command == "ir load") checkIrLoad(inv);
  return 0;
}
