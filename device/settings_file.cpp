#include "device/settings_file.h"

#include <array>
#include <cstdio>

#include "state/settings_table.h"

namespace orq {
namespace {

constexpr uint8_t kStart = 0xF0;
constexpr uint8_t kEnd = 0xF7;

std::string hexByte(uint8_t b) {
  char text[8];
  std::snprintf(text, sizeof text, "%02X", b);
  return text;
}

std::string globalsText(const ProgramSettings& s) {
  return "MIDI channel " +
         (s.midiChannel == 0 ? std::string("omni") : std::to_string(s.midiChannel)) +
         ", boost lock " + (s.boostLock ? "on" : "off");
}

BackupContent refused(std::string why) {
  return {{}, std::move(why), {}};
}

bool isSettingsMessage(const uint8_t* m, size_t length) {
  return length >= 4 && m[0] == kStart && m[1] == 0x00 && m[2] == kWriteSettings &&
         m[length - 1] == kEnd;
}

}  // namespace

std::vector<uint8_t> encodeBackup(const std::vector<ProgramSettings>& programs) {
  std::vector<uint8_t> out;
  out.reserve(programs.size() * kWriteSettingsLength);
  for (const ProgramSettings& p : programs) {
    const Bytes m = buildWriteSettings(p);
    out.insert(out.end(), m.begin(), m.end());
  }
  return out;
}

std::string checkSettings(const ProgramSettings& s) {
  for (const Setting& r : kSettings) {
    const int32_t v = r.word == kMidiChannelSetting ? s.midiChannel
                      : r.word == kBoostLockSetting ? s.boostLock
                                                    : s.words[static_cast<size_t>(r.word)];
    if (v >= r.low && v <= r.high) continue;
    return std::string(r.name) + " is " + std::to_string(v) + " (" + std::to_string(r.low) + ".." +
           std::to_string(r.high) + ")";
  }
  return {};
}

std::vector<uint8_t> encodeProgramFile(const ProgramSettings& settings) {
  return buildWriteSettings(settings);
}

ProgramFileContent decodeProgramFile(const uint8_t* bytes, size_t size) {
  ProgramFileContent c;
  if (size == 0) {
    c.error = "the file is empty";
  } else if (size == kBackupBytes && decodeBackup(bytes, size).error.empty()) {
    c.error = "it is a backup of all 128 programs, not one program (Restore all programs reads it)";
  } else if (size != kWriteSettingsLength) {
    c.error = "it is " + std::to_string(size) +
              " bytes long; a program file is one 18-byte settings message";
  } else if (!isSettingsMessage(bytes, size)) {
    c.error = "it is not a settings message of an ORQ preamp";
  } else if (!decodeWriteSettings(bytes, size, c.settings)) {
    c.error = "its settings message is damaged (a data byte of 80 or more)";
  } else if (const std::string odd = checkSettings(c.settings); !odd.empty()) {
    c.error = "a value is out of range: " + odd;
  }
  if (!c.error.empty()) c.settings = {};
  return c;
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
    if (!isSettingsMessage(m, length))
      return refused(where + " is not a WRITE_SETTINGS of an ORQ device");
    if (length != kWriteSettingsLength)
      return refused(where + " is " + std::to_string(length) +
                     " bytes long; WRITE_SETTINGS has 18");
    ProgramSettings s;
    if (!decodeWriteSettings(m, length, s))
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

}  // namespace orq
