// A program's settings as orqctl's user writes and reads them: one name per setting, values as
// the panel shows them (on/off, channel 1 or 2, slot 1..6, positions 1..3, gate off/20/50/80).
// `get` prints NAME=VALUE lines that `set` takes back unchanged. Pure functions; no device.
#pragma once

#include <string>
#include <vector>

#include "device/protocol.h"

namespace orqctl {

// Changes to apply to a program's settings, from NAME=VALUE arguments.
struct SettingEdit {
  int field = 0;  // index into the name table (settingNames)
  int32_t value = 0;
};

// The names `set` takes, in the order `get` prints them, then midi-channel and boost-lock (the
// device-wide values every WRITE_SETTINGS carries).
std::vector<std::string> settingNames(int32_t modelKind);

// Parses one NAME=VALUE. Empty string on success, else what is wrong with it.
std::string parseSetting(const std::string& text, SettingEdit& out);
void applySetting(const SettingEdit& edit, orq::ProgramSettings& settings);

// The program's settings as NAME=VALUE lines (deep or thump by model), without the device-wide
// values.
std::string settingsText(const orq::ProgramSettings& settings, int32_t modelKind);
// The same as the members of a JSON object: "name": value, ... (on/off as true/false, gate as
// 0, 20, 50 or 80, everything else as a number).
std::string settingsJson(const orq::ProgramSettings& settings, int32_t modelKind);

// "omni" or 1..16.
std::string midiChannelText(int32_t channel);

}  // namespace orqctl
