#include "tools/orqctl/backup_file.h"

#include <array>
#include <cstdio>

#include "tools/orqctl/settings_text.h"

namespace orqctl {
namespace {

using orq::ProgramSettings;

constexpr uint8_t kStart = 0xF0;
constexpr uint8_t kEnd = 0xF7;

std::string hexByte(uint8_t b) {
  char text[8];
  std::snprintf(text, sizeof text, "%02X", b);
  return text;
}

std::string globalsText(const ProgramSettings& s) {
  return "MIDI channel " + midiChannelText(s.midiChannel) + ", boost lock " +
         (s.boostLock ? "on" : "off");
}

BackupContent refused(std::string why) {
  return {{}, std::move(why), {}};
}

}  // namespace

std::vector<uint8_t> encodeBackup(const std::vector<ProgramSettings>& programs) {
  std::vector<uint8_t> out;
  out.reserve(programs.size() * orq::kWriteSettingsLength);
  for (const ProgramSettings& p : programs) {
    const orq::Bytes m = orq::buildWriteSettings(p);
    out.insert(out.end(), m.begin(), m.end());
  }
  return out;
}

BackupContent decodeBackup(const uint8_t* bytes, size_t size) {
  if (size == 0) return refused("the file is empty");
  if (bytes[0] != kStart)
    return refused("not a sysex file: it begins with " + hexByte(bytes[0]) + ", not F0");
  BackupContent content;
  std::array<bool, kBackupPrograms> seen{};
  size_t at = 0;
  for (int n = 1; at < size; ++n) {
    const std::string where = "message " + std::to_string(n) + " (byte " + std::to_string(at) + ")";
    if (bytes[at] != kStart)
      return refused("byte " + std::to_string(at) + " lies outside any message");
    // A message runs to its F7; any other status byte before that means it was cut off.
    size_t end = at + 1;
    while (end < size && bytes[end] < 0x80) ++end;
    if (end == size) return refused(where + " is cut short: the file ends before its F7");
    if (bytes[end] != kEnd)
      return refused(where + " is cut short: byte " + std::to_string(end) + " is " +
                     hexByte(bytes[end]) + " before its F7");
    const size_t length = end + 1 - at;
    const uint8_t* m = bytes + at;
    at = end + 1;
    if (n > kBackupPrograms)
      return refused("more than 128 messages: " + where + " is one too many");
    if (length < 4 || m[1] != 0x00 || m[2] != orq::kWriteSettings)
      return refused(where + " is not a WRITE_SETTINGS of an ORQ device");
    if (length != orq::kWriteSettingsLength)
      return refused(where + " is " + std::to_string(length) +
                     " bytes long; WRITE_SETTINGS has 18");
    ProgramSettings s;
    if (!orq::decodeWriteSettings(m, length, s))
      return refused(where + ": its packed byte " + hexByte(m[4]) + " has bits 6-7 set");
    const std::string which = where + ", program " + std::to_string(s.program);
    const std::string odd = checkSettings(s);
    if (!odd.empty())
      content.warnings.push_back("program " + std::to_string(s.program) + ": " + odd);
    if (seen[static_cast<size_t>(s.program)]) return refused(which + ": the program comes twice");
    seen[static_cast<size_t>(s.program)] = true;
    if (!content.programs.empty()) {
      const ProgramSettings& first = content.programs.front();
      if (s.midiChannel != first.midiChannel || s.boostLock != first.boostLock)
        return refused(which + ": " + globalsText(s) + " where message 1 has " +
                       globalsText(first));
    }
    content.programs.push_back(s);
  }
  if (content.programs.size() < kBackupPrograms) {
    size_t missing = 0;
    while (seen[missing]) ++missing;
    return refused("the file holds " + std::to_string(content.programs.size()) +
                   " of the 128 programs; program " + std::to_string(missing) + " is missing");
  }
  return content;
}

}  // namespace orqctl
