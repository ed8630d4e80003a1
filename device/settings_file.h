// The two settings files, shared by the editor and orqctl. A program file holds one program's
// WRITE_SETTINGS message, as the editor's Save program writes it.
//
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

namespace orq {

inline constexpr int kBackupPrograms = 128;
inline constexpr size_t kBackupBytes = kBackupPrograms * kWriteSettingsLength;  // 2304

// The 128 messages in the order given.
std::vector<uint8_t> encodeBackup(const std::vector<ProgramSettings>& programs);

// A backup file's content checked whole: every message a complete WRITE_SETTINGS of this device,
// every program once, all 128 of them, the same device-wide values in each. On success `error`
// is empty and `programs` holds the 128 in file order; otherwise `programs` is empty and `error`
// names the first problem and where it is. A value outside its documented range is no reason to
// refuse the file (the device held it when the backup was made): it is named in `warnings`, one
// line per program, and the program is kept as it is.
struct BackupContent {
  std::vector<ProgramSettings> programs;
  std::string error;
  std::vector<std::string> warnings;
};
BackupContent decodeBackup(const uint8_t* bytes, size_t size);

// Empty when every value lies in its range (the device-wide values included); else the first
// that does not, named as orqctl names settings and with its range, e.g. "gate2 is 7 (0..3)".
std::string checkSettings(const ProgramSettings& settings);

// The program file of `settings` (its WRITE_SETTINGS message).
std::vector<uint8_t> encodeProgramFile(const ProgramSettings& settings);

// A program file's content: on success `error` is empty and `settings` holds the message's
// values (its program number as the file has it); otherwise `error` says what is wrong: an
// empty file, a whole backup, a wrong length, a message of another kind or device, a value out
// of its range.
struct ProgramFileContent {
  ProgramSettings settings;
  std::string error;
};
ProgramFileContent decodeProgramFile(const uint8_t* bytes, size_t size);

}  // namespace orq
