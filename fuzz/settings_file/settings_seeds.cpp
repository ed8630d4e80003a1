// Writes the settings-file fuzzer's starting corpus into a folder: the files the librarian and
// orqctl tests read (a program file, a whole backup, one with a value out of range, one cut
// short), so that the fuzzer starts from real messages.
// Usage: orq-settings-seeds FOLDER
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "device/settings_file.h"
#include "state/editor_state.h"

namespace {

orq::ProgramSettings sample(int program) {
  orq::ProgramSettings s;
  s.program = program;
  s.midiChannel = 12;
  s.boostLock = 1;
  s.words = {1, 1, 0, 1, 2, 0, 1, 3, 1, 2, 3, 1, 2, 0, 3};
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  std::vector<orq::ProgramSettings> programs;
  for (int p = 0; p < orq::kBackupPrograms; ++p) programs.push_back(sample(p));
  const std::vector<uint8_t> backup = orq::encodeBackup(programs);
  std::vector<uint8_t> odd = backup;
  odd[18 * 7 + 15] = 4;  // program 7: gate 4
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
  } kSeeds[] = {
      {"program.syx", orq::encodeProgramFile(sample(77))},
      {"backup.syx", backup},
      {"backup-odd-value.syx", odd},
      {"backup-cut.syx", std::vector<uint8_t>(backup.begin(), backup.begin() + 18 * 64 + 5)},
  };
  for (const auto& s : kSeeds) {
    const std::string path = std::string(argv[1]) + "/" + s.name;
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(s.bytes.data()), std::streamsize(s.bytes.size()));
    if (!out) {
      std::fprintf(stderr, "%s: cannot be written\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
