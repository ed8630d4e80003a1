// Every value a settings message carries, named once: the name orqctl and the settings files give
// it, its documented range, how orqctl writes its values, and the panel's name for a change of it
// (an undo step). Pure data over the settings words of editor_state.h.
#pragma once

#include <array>
#include <cstdint>

#include "state/editor_state.h"

namespace orq {

// How orqctl writes a setting's values (and reads them back).
enum class SettingKind {
  OnOff,        // 0 off, 1 on
  Channel,      // 0, 1 written as 1, 2
  Slot1,        // IR selection 0..2 of channel 1, written as slot 1..3
  Slot2,        // of channel 2, written as slot 4..6
  Position,     // 1..3
  Gate,         // 0..3 written as off, 20, 50, 80
  MidiChannel,  // 0 omni, 1..16
};

// The two device-wide values every message carries besides the program's words.
inline constexpr int kMidiChannelSetting = -1;
inline constexpr int kBoostLockSetting = -2;

struct Setting {
  const char* name;       // "presence1"
  const char* otherName;  // the name on models other than kind 1 (deep is "thump" there), or null
  int word;               // settings word, or kMidiChannelSetting / kBoostLockSetting
  SettingKind kind;
  int32_t low, high;          // the documented range
  const wchar_t* label;       // the panel's name for a change of it ("PRESENCE")
  const wchar_t* otherLabel;  // on models other than kind 1, or null
};

// The program's 15 words in the order orqctl shows them, then the two device-wide values.
inline constexpr std::array<Setting, 17> kSettings{{
    {"channel", nullptr, kActiveChannel, SettingKind::Channel, 0, 1, L"CHANNEL", nullptr},
    {"boost1", nullptr, kBoost1, SettingKind::OnOff, 0, 1, L"BOOST", nullptr},
    {"boost2", nullptr, kBoost2, SettingKind::OnOff, 0, 1, L"BOOST", nullptr},
    {"loop-bypass", nullptr, kLoopBypass, SettingKind::OnOff, 0, 1, L"LOOP BYPASS", nullptr},
    {"ir-bypass", nullptr, kIrBypass, SettingKind::OnOff, 0, 1, L"IR BYPASS", nullptr},
    {"ir1", nullptr, kIrSelect1, SettingKind::Slot1, 0, 2, L"IR", nullptr},
    {"ir2", nullptr, kIrSelect2, SettingKind::Slot2, 0, 2, L"IR", nullptr},
    {"presence1", nullptr, kPresence1, SettingKind::Position, 1, 3, L"PRESENCE", nullptr},
    {"presence2", nullptr, kPresence2, SettingKind::Position, 1, 3, L"PRESENCE", nullptr},
    {"deep1", "thump1", kDeep1, SettingKind::Position, 1, 3, L"DEEP", L"THUMP"},
    {"deep2", "thump2", kDeep2, SettingKind::Position, 1, 3, L"DEEP", L"THUMP"},
    {"lowpass1", nullptr, kLowpass1, SettingKind::Position, 1, 3, L"LOWPASS", nullptr},
    {"lowpass2", nullptr, kLowpass2, SettingKind::Position, 1, 3, L"LOWPASS", nullptr},
    {"gate1", nullptr, kGate1, SettingKind::Gate, 0, 3, L"GATE", nullptr},
    {"gate2", nullptr, kGate2, SettingKind::Gate, 0, 3, L"GATE", nullptr},
    {"midi-channel", nullptr, kMidiChannelSetting, SettingKind::MidiChannel, 0, 16, L"MIDI CHANNEL",
     nullptr},
    {"boost-lock", nullptr, kBoostLockSetting, SettingKind::OnOff, 0, 1, L"BOOST LOCK", nullptr},
}};
inline constexpr size_t kProgramSettings = 15;  // the entries before the device-wide values

// The entry of settings word `word` (or of a device-wide value), or null.
constexpr const Setting* settingOf(int word) {
  for (const Setting& s : kSettings)
    if (s.word == word) return &s;
  return nullptr;
}

// The name and the panel's label as the model of `modelKind` has them.
constexpr const char* nameOf(const Setting& s, int32_t modelKind) {
  return s.otherName && modelKind != 1 ? s.otherName : s.name;
}
constexpr const wchar_t* labelOf(const Setting& s, int32_t modelKind) {
  return s.otherLabel && modelKind != 1 ? s.otherLabel : s.label;
}

}  // namespace orq
