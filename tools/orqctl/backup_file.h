// The backup file: the settings of all 128 programs as WRITE_SETTINGS messages, program 0 first,
// one after another with nothing between them (a standard .syx file that other sysex tools read
// and send). Every message carries the device-wide MIDI channel and boost lock in its packed
// byte; a backup carries the same pair in all 128. Pure functions over bytes; no file, no device.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "device/protocol.h"

namespace orqctl {

inline constexpr int kBackupPrograms = 128;
inline constexpr size_t kBackupBytes = kBackupPrograms * orq::kWriteSettingsLength;  // 2304

// The 128 messages in the order given.
std::vector<uint8_t> encodeBackup(const std::vector<orq::ProgramSettings>& programs);

// A backup file's content checked whole: every message a complete WRITE_SETTINGS of this device,
// every program once, all 128 of them, the same device-wide values in each. On success `error`
// is empty and `programs` holds the 128 in file order; otherwise `programs` is empty and `error`
// names the first problem and where it is. A value outside its documented range is no reason to
// refuse the file (the device held it when the backup was made): it is named in `warnings`, one
// line per program, and the program is kept as it is.
struct BackupContent {
  std::vector<orq::ProgramSettings> programs;
  std::string error;
  std::vector<std::string> warnings;
};
BackupContent decodeBackup(const uint8_t* bytes, size_t size);

}  // namespace orqctl
