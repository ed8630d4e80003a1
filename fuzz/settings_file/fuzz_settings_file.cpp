// Feeds arbitrary file bytes to the two settings-file decoders, as Open program and Restore all
// programs (and orqctl restore) read them, and checks what their callers rely on:
//   - a program file that decodes is one in-range settings message that re-encodes to the same
//     bytes; a refused one says why and leaves the settings at their defaults;
//   - a backup that decodes holds each of the 128 programs once, with one MIDI channel and
//     boost lock, a warning for exactly each program with a value out of range, and re-encodes
//     to the same bytes (so a restore sends what the file holds); a refused one says why and
//     holds no programs and no warnings.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "device/settings_file.h"

namespace {

void check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}

bool sameBytes(const std::vector<uint8_t>& encoded, const uint8_t* data, size_t size) {
  if (encoded.size() != size) return false;
  for (size_t i = 0; i < size; ++i)
    if (encoded[i] != data[i]) return false;
  return true;
}

void checkProgramFile(const uint8_t* data, size_t size) {
  const orq::ProgramFileContent c = orq::decodeProgramFile(data, size);
  if (!c.error.empty()) {
    check(c.settings == orq::ProgramSettings{}, "refused program file leaves default settings");
    return;
  }
  check(orq::checkSettings(c.settings).empty(), "program file values in range");
  check(sameBytes(orq::encodeProgramFile(c.settings), data, size),
        "program file re-encodes to its bytes");
}

void checkBackup(const uint8_t* data, size_t size) {
  const orq::BackupContent c = orq::decodeBackup(data, size);
  if (!c.error.empty()) {
    check(c.programs.empty() && c.warnings.empty(), "refused backup holds nothing");
    return;
  }
  check(c.programs.size() == orq::kBackupPrograms, "backup holds 128 programs");
  bool seen[orq::kBackupPrograms] = {};
  size_t odd = 0;
  for (const orq::ProgramSettings& p : c.programs) {
    check(p.program >= 0 && p.program < orq::kBackupPrograms, "program number 0..127");
    check(!seen[p.program], "each program once");
    seen[p.program] = true;
    check(p.midiChannel == c.programs[0].midiChannel && p.boostLock == c.programs[0].boostLock,
          "one MIDI channel and boost lock");
    if (!orq::checkSettings(p).empty()) ++odd;
  }
  check(c.warnings.size() == odd, "one warning per program out of range");
  check(sameBytes(orq::encodeBackup(c.programs), data, size), "backup re-encodes to its bytes");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The decoders get a heap copy of exactly `size` bytes, so any read past the end trips ASan.
  std::vector<uint8_t> file(data, data + size);
  checkProgramFile(file.data(), file.size());
  checkBackup(file.data(), file.size());
  return 0;
}
