#include "tools/orqctl/settings_text.h"

#include <array>
#include <cstdlib>
#include <optional>

#include "state/settings_table.h"

namespace orqctl {
namespace {

using orq::ProgramSettings;

using orq::Setting;
using Kind = orq::SettingKind;

constexpr int kGatePercent[4] = {0, 20, 50, 80};

int32_t& slotOf(const Setting& f, ProgramSettings& s) {
  if (f.word == orq::kMidiChannelSetting) return s.midiChannel;
  if (f.word == orq::kBoostLockSetting) return s.boostLock;
  return s.words[static_cast<size_t>(f.word)];
}

int32_t valueOf(const Setting& f, const ProgramSettings& s) {
  if (f.word == orq::kMidiChannelSetting) return s.midiChannel;
  if (f.word == orq::kBoostLockSetting) return s.boostLock;
  return s.words[static_cast<size_t>(f.word)];
}

bool number(const std::string& text, int32_t& out) {
  if (text.empty() || text.size() > 4) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  out = static_cast<int32_t>(std::atoi(text.c_str()));
  return true;
}

// The stored value of `text` for a field of this kind; nothing when it is not one of its values.
std::optional<int32_t> parseValue(Kind kind, std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  int32_t n = -1;
  const bool isNumber = number(text, n);
  switch (kind) {
    case Kind::OnOff:
      if (text == "on" || text == "1") return 1;
      if (text == "off" || text == "0") return 0;
      break;
    case Kind::Channel:
      if (isNumber && n >= 1 && n <= 2) return n - 1;
      break;
    case Kind::Slot1:
    case Kind::Slot2: {
      const int first = kind == Kind::Slot1 ? 1 : 4;
      if (isNumber && n >= first && n <= first + 2) return n - first;
      break;
    }
    case Kind::Position:
      if (isNumber && n >= 1 && n <= 3) return n;
      break;
    case Kind::Gate:
      if (text == "off") return 0;
      if (!text.empty() && text.back() == '%') text.pop_back();
      if (!number(text, n)) break;
      for (int g = 1; g < 4; ++g)
        if (n == kGatePercent[g]) return g;
      break;
    case Kind::MidiChannel:
      if (text == "omni") return 0;
      if (isNumber && n >= 1 && n <= 16) return n;
      break;
  }
  return std::nullopt;
}

const char* valuesOf(Kind kind) {
  switch (kind) {
    case Kind::OnOff:
      return "on or off";
    case Kind::Channel:
      return "1 or 2";
    case Kind::Slot1:
      return "slot 1, 2 or 3";
    case Kind::Slot2:
      return "slot 4, 5 or 6";
    case Kind::Position:
      return "1, 2 or 3";
    case Kind::Gate:
      return "off, 20, 50 or 80";
    case Kind::MidiChannel:
      return "omni or 1..16";
  }
  return "";
}

bool inRange(const Setting& f, int32_t v) {
  return v >= f.low && v <= f.high;
}

// As the user writes it; a value outside its range (a device may report one) as the number.
std::string text(const Setting& f, int32_t v) {
  if (!inRange(f, v)) return std::to_string(v);
  switch (f.kind) {
    case Kind::OnOff:
      return v ? "on" : "off";
    case Kind::Channel:
      return std::to_string(v + 1);
    case Kind::Slot1:
      return std::to_string(v + 1);
    case Kind::Slot2:
      return std::to_string(v + 4);
    case Kind::Position:
      return std::to_string(v);
    case Kind::Gate:
      return v == 0 ? "off" : std::to_string(kGatePercent[v]);
    case Kind::MidiChannel:
      return midiChannelText(v);
  }
  return std::to_string(v);
}

std::string json(const Setting& f, int32_t v) {
  if (!inRange(f, v)) return std::to_string(v);
  switch (f.kind) {
    case Kind::OnOff:
      return v ? "true" : "false";
    case Kind::Gate:
      return std::to_string(kGatePercent[v]);
    case Kind::MidiChannel:
      return std::to_string(v);
    default:
      return text(f, v);
  }
}

}  // namespace

std::string midiChannelText(int32_t channel) {
  return channel == 0 ? "omni" : std::to_string(channel);
}

std::vector<std::string> settingNames(int32_t modelKind) {
  std::vector<std::string> names;
  for (const Setting& f : orq::kSettings) names.emplace_back(orq::nameOf(f, modelKind));
  return names;
}

std::string parseSetting(const std::string& arg, SettingEdit& out) {
  const size_t eq = arg.find('=');
  if (eq == std::string::npos) return "'" + arg + "' is not NAME=VALUE";
  const std::string name = arg.substr(0, eq);
  for (size_t i = 0; i < orq::kSettings.size(); ++i) {
    const Setting& f = orq::kSettings[i];
    if (name != f.name && !(f.otherName && name == f.otherName)) continue;
    const std::optional<int32_t> v = parseValue(f.kind, arg.substr(eq + 1));
    if (!v) return name + " takes " + valuesOf(f.kind) + ", not '" + arg.substr(eq + 1) + "'";
    out = {static_cast<int>(i), *v};
    return {};
  }
  return "no setting is named '" + name + "'";
}

void applySetting(const SettingEdit& edit, ProgramSettings& settings) {
  slotOf(orq::kSettings[static_cast<size_t>(edit.field)], settings) = edit.value;
}

std::string settingsText(const ProgramSettings& s, int32_t modelKind) {
  std::string out;
  for (size_t i = 0; i < orq::kProgramSettings; ++i) {
    const Setting& f = orq::kSettings[i];
    out += std::string(orq::nameOf(f, modelKind)) + "=" + text(f, valueOf(f, s)) + "\n";
  }
  return out;
}

std::string settingsJson(const ProgramSettings& s, int32_t modelKind) {
  std::string out;
  for (size_t i = 0; i < orq::kProgramSettings; ++i) {
    const Setting& f = orq::kSettings[i];
    if (i) out += ", ";
    // Appended piece by piece: "..." + std::string&& trips a false -Wrestrict of GCC 12 at -O3.
    out += '"';
    out += orq::nameOf(f, modelKind);
    out += "\": ";
    out += json(f, valueOf(f, s));
  }
  return out;
}

}  // namespace orqctl
