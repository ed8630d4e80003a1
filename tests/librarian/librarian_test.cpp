// The undo history's rules, played as scripts on a model of the editor's values, and the
// program file: what it holds and every kind of file it refuses.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "device/protocol.h"
#include "device/settings_file.h"
#include "state/undo_history.h"

namespace {

using orq::SettingsValues;

constexpr int kMidi = 15;  // field numbers past the 15 words: the device-wide values
constexpr int kLock = 16;

// One program's words and the shared device-wide values, as the editor state holds them.
struct Editor {
  orq::UndoHistory history;
  std::array<SettingsValues, 4> programs{};
  int32_t epoch = 0;

  SettingsValues values(int p) const { return programs[static_cast<size_t>(p)]; }
  void store(int p, const SettingsValues& v) {
    for (SettingsValues& other : programs) {
      other.midiChannel = v.midiChannel;
      other.boostLock = v.boostLock;
    }
    programs[static_cast<size_t>(p)] = v;
  }
  static void set(SettingsValues& v, int field, int32_t value) {
    (field == kMidi   ? v.midiChannel
     : field == kLock ? v.boostLock
                      : v.words[static_cast<size_t>(field)]) = value;
  }
  static int32_t get(const SettingsValues& v, int field) {
    return field == kMidi   ? v.midiChannel
           : field == kLock ? v.boostLock
                            : v.words[static_cast<size_t>(field)];
  }
};

// 'c' the panel changes a field of a program, 'u'/'r' undo/redo there, 'd' the device changes a
// field under the editor, 'e' the device's values are replaced wholesale.
struct Op {
  char kind;
  int program = 0;
  int field = 0;
  int32_t value = 0;
};

struct Script {
  const char* what;
  std::vector<Op> ops;
  // Then, on program `program`: the names undo and redo would show and one field's value.
  int program;
  const wchar_t* undoName;
  const wchar_t* redoName;
  int field;
  int32_t value;
};

const wchar_t* name(int field) {
  return field == orq::kPresence1 ? L"PRESENCE" : field == kMidi ? L"MIDI CHANNEL" : L"GATE";
}

void play(Editor& e, const Op& op) {
  SettingsValues v = e.values(op.program);
  switch (op.kind) {
    case 'c': {
      e.history.reconcile(e.epoch, op.program, v);
      const SettingsValues before = v;
      Editor::set(v, op.field, op.value);
      e.store(op.program, v);
      e.history.record(op.program, name(op.field), before, v);
      break;
    }
    case 'u':
    case 'r':
      e.history.reconcile(e.epoch, op.program, v);
      if (op.kind == 'u' ? e.history.undo(op.program, v) : e.history.redo(op.program, v))
        e.store(op.program, v);
      break;
    case 'd':
      Editor::set(v, op.field, op.value);
      e.store(op.program, v);
      break;
    case 'e':
      ++e.epoch;
      break;
  }
}

TEST(UndoHistory, Scripts) {
  using orq::kGate1;
  using orq::kPresence1;
  const std::vector<Script> scripts = {
      {"a step is undone and redone",
       {{'c', 0, kPresence1, 2}, {'u'}},
       0,
       L"",
       L"PRESENCE",
       kPresence1,
       0},
      {"redo puts it back",
       {{'c', 0, kPresence1, 2}, {'u'}, {'r'}},
       0,
       L"PRESENCE",
       L"",
       kPresence1,
       2},
      {"steps undo newest first",
       {{'c', 0, kPresence1, 2}, {'c', 0, kGate1, 3}, {'u'}},
       0,
       L"PRESENCE",
       L"GATE",
       kGate1,
       0},
      {"a new change after an undo drops the redo steps",
       {{'c', 0, kPresence1, 2}, {'c', 0, kPresence1, 3}, {'u'}, {'c', 0, kGate1, 1}},
       0,
       L"GATE",
       L"",
       kPresence1,
       2},
      {"a change that changes nothing is no step", {{'c', 0, kGate1, 0}}, 0, L"", L"", kGate1, 0},
      {"each program has its own history",
       {{'c', 0, kPresence1, 2}, {'c', 1, kGate1, 2}, {'u', 1}, {'u', 1}},
       0,
       L"PRESENCE",
       L"",
       kPresence1,
       2},
      {"undo on an empty history changes nothing",
       {{'c', 1, kGate1, 2}, {'u', 0}},
       1,
       L"GATE",
       L"",
       kGate1,
       2},
      {"a device-wide step undoes the MIDI channel alone",
       {{'c', 0, kMidi, 5}, {'c', 0, kGate1, 2}, {'u'}, {'u'}},
       0,
       L"",
       L"MIDI CHANNEL",
       kMidi,
       0},
      {"a word step's redo leaves the MIDI channel another program's undo set",
       {{'c', 0, kMidi, 5}, {'c', 1, kGate1, 2}, {'u', 1}, {'u', 0}, {'r', 1}},
       1,
       L"GATE",
       L"",
       kMidi,
       0},
      {"the device changing a word clears that program's history",
       {{'c', 0, kPresence1, 2}, {'u'}, {'d', 0, kGate1, 3}, {'r'}},
       0,
       L"",
       L"",
       kPresence1,
       0},
      {"... and only that program's",
       {{'c', 1, kGate1, 2}, {'c', 0, kPresence1, 2}, {'d', 0, kGate1, 3}, {'u', 0}},
       1,
       L"GATE",
       L"",
       kGate1,
       2},
      {"the device changing a device-wide value clears every history",
       {{'c', 1, kGate1, 2}, {'c', 0, kPresence1, 2}, {'d', 0, kLock, 1}, {'u', 0}},
       1,
       L"",
       L"",
       kGate1,
       2},
      {"another device or a restore clears every history",
       {{'c', 1, kGate1, 2}, {'e'}, {'u', 1}},
       1,
       L"",
       L"",
       kGate1,
       2},
  };
  for (const Script& s : scripts) {
    SCOPED_TRACE(s.what);
    Editor e;
    for (const Op& op : s.ops) play(e, op);
    e.history.reconcile(e.epoch, s.program, e.values(s.program));
    EXPECT_EQ(e.history.undoName(s.program), s.undoName);
    EXPECT_EQ(e.history.redoName(s.program), s.redoName);
    EXPECT_EQ(Editor::get(e.values(s.program), s.field), s.value);
  }
}

// ------------------------------------------------------------------ program files

std::vector<uint8_t> programFile(int32_t program, int32_t presence1) {
  orq::ProgramSettings s;
  s.program = program;
  s.midiChannel = 3;
  for (int w :
       {orq::kPresence1, orq::kPresence2, orq::kDeep1, orq::kDeep2, orq::kLowpass1, orq::kLowpass2})
    s.words[static_cast<size_t>(w)] = 2;
  s.words[orq::kGate2] = 3;
  s.words[orq::kPresence1] = presence1;
  return orq::encodeProgramFile(s);
}

TEST(ProgramFile, IsOneSettingsMessageThatReadsBack) {
  const std::vector<uint8_t> file = programFile(77, 3);
  ASSERT_EQ(file.size(), orq::kWriteSettingsLength);
  const orq::ProgramFileContent c = orq::decodeProgramFile(file.data(), file.size());
  EXPECT_EQ(c.error, "");
  EXPECT_EQ(c.settings.program, 77);
  EXPECT_EQ(c.settings.words[orq::kPresence1], 3);
  EXPECT_EQ(c.settings.words[orq::kGate2], 3);
  EXPECT_EQ(c.settings.midiChannel, 3);
}

TEST(ProgramFile, RefusesWhatIsNotOneProgram) {
  std::vector<orq::ProgramSettings> all(orq::kBackupPrograms);
  for (int p = 0; p < orq::kBackupPrograms; ++p) {
    all[static_cast<size_t>(p)].program = p;
    all[static_cast<size_t>(p)].words.fill(1);
  }
  const std::vector<uint8_t> good = programFile(5, 2);
  std::vector<uint8_t> otherDevice = good;
  otherDevice[1] = 0x41;
  std::vector<uint8_t> otherMessage = good;
  otherMessage[2] = orq::kReadSettings;
  std::vector<uint8_t> noEnd = good;
  noEnd[orq::kWriteSettingsLength - 1] = 0x00;
  std::vector<uint8_t> highByte = good;
  highByte[6] = 0x90;
  struct Case {
    const char* what;
    std::vector<uint8_t> file;
    const char* says;
  } cases[] = {
      {"empty", {}, "empty"},
      {"a whole backup", orq::encodeBackup(all), "backup of all 128"},
      {"one byte short", {good.begin(), good.end() - 1}, "17 bytes long"},
      {"two messages",
       [&] {
         auto f = good;
         f.insert(f.end(), good.begin(), good.end());
         return f;
       }(),
       "36 bytes long"},
      {"another device's message", otherDevice, "not a settings message"},
      {"another message", otherMessage, "not a settings message"},
      {"no end byte", noEnd, "not a settings message"},
      {"a data byte of 80 or more", highByte, "damaged"},
      {"a value out of range", programFile(5, 0), "presence1 is 0 (1..3)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const orq::ProgramFileContent r = orq::decodeProgramFile(c.file.data(), c.file.size());
    EXPECT_NE(r.error.find(c.says), std::string::npos) << r.error;
  }
}

}  // namespace
