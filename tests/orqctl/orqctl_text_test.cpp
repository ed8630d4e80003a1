// orqctl's settings names and its backup file, without a device: what set takes and refuses,
// that get's lines go back through set unchanged, and which files restore refuses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/settings_file.h"
#include "state/editor_state.h"
#include "tools/orqctl/settings_text.h"

namespace {

using orq::ProgramSettings;
using orqctl::SettingEdit;

ProgramSettings sample(int program) {
  ProgramSettings s;
  s.program = program;
  s.midiChannel = 12;
  s.boostLock = 1;
  s.words = {1, 1, 0, 1, 2, 0, 1, 3, 1, 2, 3, 1, 2, 0, 3};
  return s;
}

ProgramSettings edited(const std::vector<std::string>& args) {
  ProgramSettings s = sample(9);
  for (const std::string& a : args) {
    SettingEdit e;
    const std::string error = orqctl::parseSetting(a, e);
    EXPECT_EQ(error, "") << a;
    if (error.empty()) orqctl::applySetting(e, s);
  }
  return s;
}

TEST(OrqctlSettings, SetTakesThePanelsValuesAndRefusesOthers) {
  const ProgramSettings s = edited({"channel=2", "boost1=OFF", "ir1=3", "ir2=4", "gate1=20%",
                                    "gate2=off", "thump1=1", "midi-channel=omni", "boost-lock=0"});
  EXPECT_EQ(s.words[orq::kActiveChannel], 1);
  EXPECT_EQ(s.words[orq::kBoost1], 0);
  EXPECT_EQ(s.words[orq::kIrSelect1], 2);
  EXPECT_EQ(s.words[orq::kIrSelect2], 0);
  EXPECT_EQ(s.words[orq::kGate1], 1);
  EXPECT_EQ(s.words[orq::kGate2], 0);
  EXPECT_EQ(s.words[orq::kDeep1], 1);
  EXPECT_EQ(s.midiChannel, 0);
  EXPECT_EQ(s.boostLock, 0);

  for (const char* bad : {"channel=3", "ir1=4", "ir2=3", "presence1=0", "gate1=30", "boost1=yes",
                          "midi-channel=17", "volume=3", "channel", "deep1="}) {
    SettingEdit e;
    EXPECT_NE(orqctl::parseSetting(bad, e), "") << bad;
  }
}

TEST(OrqctlSettings, GetLinesGoBackThroughSetUnchanged) {
  for (int model : {0, 1}) {
    SCOPED_TRACE(model);
    const ProgramSettings want = sample(9);
    ProgramSettings s = sample(9);
    s.words.fill(0);
    const std::string text = orqctl::settingsText(want, model);
    size_t lines = 0;
    for (size_t at = 0; at < text.size(); at = text.find('\n', at) + 1, ++lines) {
      SettingEdit e;
      const std::string line = text.substr(at, text.find('\n', at) - at);
      ASSERT_EQ(orqctl::parseSetting(line, e), "") << line;
      orqctl::applySetting(e, s);
    }
    EXPECT_EQ(lines, 15u);
    EXPECT_EQ(s, want);
    EXPECT_NE(text.find(model == 1 ? "deep1=" : "thump1="), std::string::npos);
  }
}

std::vector<uint8_t> goodBackup() {
  std::vector<ProgramSettings> programs;
  for (int p = 0; p < orq::kBackupPrograms; ++p) programs.push_back(sample(p));
  return orq::encodeBackup(programs);
}

TEST(OrqctlBackup, AWholeBackupReadsBackAsWritten) {
  const std::vector<uint8_t> file = goodBackup();
  ASSERT_EQ(file.size(), orq::kBackupBytes);
  const orq::BackupContent c = orq::decodeBackup(file.data(), file.size());
  ASSERT_EQ(c.error, "");
  ASSERT_EQ(c.programs.size(), 128u);
  for (int p = 0; p < 128; ++p) EXPECT_EQ(c.programs[p], sample(p));
}

// Each file is refused whole, with a message that says where.
TEST(OrqctlBackup, RestoreRefusesEveryFileThatIsNotAWholeBackup) {
  const std::vector<uint8_t> good = goodBackup();
  const auto edit = [&](size_t at, uint8_t value) {
    std::vector<uint8_t> f = good;
    f[at] = value;
    return f;
  };
  std::vector<uint8_t> extra = good;
  extra.insert(extra.end(), good.begin(), good.begin() + 18);  // program 0 once more
  std::vector<uint8_t> longer = good;
  longer.insert(longer.begin() + 17, 0x00);  // the first message 19 bytes long
  std::vector<uint8_t> foreign = {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7};  // identity request
  foreign.insert(foreign.end(), good.begin(), good.end());
  const struct {
    const char* what;
    std::vector<uint8_t> file;
    const char* says;
  } cases[] = {
      {"empty", {}, "empty"},
      {"not sysex", {'M', 'T', 'h', 'd', 0, 0, 0, 6}, "not a sysex file"},
      {"truncated", std::vector<uint8_t>(good.begin(), good.end() - 5), "cut short"},
      {"cut mid-way", std::vector<uint8_t>(good.begin(), good.begin() + 18 * 64), "64 of the 128"},
      {"a message too long", longer, "19 bytes"},
      {"foreign message", foreign, "not a WRITE_SETTINGS"},
      {"another maker", edit(18 * 5 + 1, 0x41), "not a WRITE_SETTINGS"},
      {"unclosed", edit(18 * 3 + 17, 0xF0), "cut short"},
      {"program twice", edit(18 * 2 + 3, 1), "comes twice"},
      {"other globals", edit(18 * 9 + 4, 0x01), "where message 1 has"},
      {"more than 128", extra, "more than 128"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const orq::BackupContent r = orq::decodeBackup(c.file.data(), c.file.size());
    EXPECT_TRUE(r.programs.empty());
    EXPECT_NE(r.error.find(c.says), std::string::npos) << r.error;
  }
}

// A value the device held outside its documented range keeps the file whole: it is named and
// kept as it is, so that every backup restores.
TEST(OrqctlBackup, ValuesOutOfRangeAreWarnedOfAndKept) {
  std::vector<uint8_t> file = goodBackup();
  file[18 * 7 + 15] = 4;  // program 7: gate 4
  const orq::BackupContent r = orq::decodeBackup(file.data(), file.size());
  ASSERT_EQ(r.error, "");
  ASSERT_EQ(r.warnings, std::vector<std::string>{"program 7: gate1 is 4 (0..3)"});
  EXPECT_EQ(r.programs[7].words[orq::kGate1], 4);
}

}  // namespace
