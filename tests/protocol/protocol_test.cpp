// The sysex messages byte by byte in both directions: what every builder sends, how every reply
// lands in the editor state, and that malformed replies neither write nor read out of bounds.
#include "device/protocol.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "device/device_link.h"
#include "device/device_state.h"
#include "state/editor_state.h"

namespace orq {
namespace {

class ProtocolTest : public ::testing::Test {
 protected:
  EditorState state;
  DeviceLink link;

  void feed(const Bytes& m) { handleReply(m.data(), m.size(), state, link); }
  int32_t word(int program, int w) const { return state.programBlocks[program][w]; }
  void setBlock(int program, std::initializer_list<int32_t> words) {
    int w = 0;
    for (int32_t v : words) state.programBlocks[program][w++] = v;
  }
  std::vector<int32_t> block(int program) const {
    std::vector<int32_t> out;
    for (int w = 0; w < kBlockWords; ++w) out.push_back(word(program, w));
    return out;
  }
};

// A well-formed settings dump: header, program, packed byte, 12 block bytes, end (18 bytes);
// shorter ones keep the first `length - 1` bytes and end with F7.
Bytes dump(uint8_t program, uint8_t packed, std::vector<uint8_t> blockBytes, size_t length = 18) {
  Bytes m = {0xF0, 0x00, 0x02, program, packed};
  m.insert(m.end(), blockBytes.begin(), blockBytes.end());
  m.resize(length - 1);
  m.push_back(0xF7);
  return m;
}

Bytes slotName(uint8_t slot, const std::string& text, size_t length = 70) {
  Bytes m(length, 0);
  m[0] = 0xF0;
  m[2] = 0x04;
  m[3] = 0x55;  // not interpreted
  m[4] = slot;
  for (size_t i = 0; i < text.size() && 5 + i < length; ++i) m[5 + i] = uint8_t(text[i]);
  m[length - 1] = 0xF7;
  return m;
}

void expectSevenBitPayload(const Bytes& m) {
  for (size_t i = 1; i + 1 < m.size(); ++i) EXPECT_LT(m[i], 0x80) << "byte " << i;
}

TEST_F(ProtocolTest, FixedMessagesAndRefusedArguments) {
  struct Case {
    const char* what;
    Bytes got;
    Bytes want;
  } cases[] = {
      {"READ_SETTINGS 0", buildReadSettings(0), {0xF0, 0x00, 0x02, 0x00, 0xF7}},
      {"READ_SETTINGS 127", buildReadSettings(127), {0xF0, 0x00, 0x02, 0x7F, 0xF7}},
      {"READ_SETTINGS 128", buildReadSettings(128), {}},
      {"READ_SETTINGS -1", buildReadSettings(-1), {}},
      {"READ_SLOT_NAME 0", buildReadSlotName(0), {0xF0, 0x00, 0x04, 0x00, 0xF7}},
      {"READ_SLOT_NAME 5", buildReadSlotName(5), {0xF0, 0x00, 0x04, 0x05, 0xF7}},
      {"READ_SLOT_NAME 6", buildReadSlotName(6), {}},
      {"READ_SLOT_NAME -1", buildReadSlotName(-1), {}},
      {"STORE", buildStore(), {0xF0, 0x00, 0x0A, 0xF7}},
      {"IDENTIFY", buildIdentify(), {0xF0, 0x00, 0x0B, 0xF7}},
      {"RESET", buildReset(), {0xF0, 0x00, 0x0C, 0xF7}},
  };
  for (const Case& c : cases) EXPECT_EQ(c.got, c.want) << c.what;
}

TEST_F(ProtocolTest, WriteSettingsCarriesTheCurrentProgramsBlock) {
  state.program = 7;
  state.midiChannel = 16;
  state.boostLock = 1;
  setBlock(7, {1, 1, 0, 1, 2, 1, 1, 3, 1, 2, 3, 1, 2, 3, 2, 1});
  setBlock(6, {9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 1});
  EXPECT_EQ(buildWriteSettings(state),
            (Bytes{0xF0, 0x00, 0x01, 0x07, 0x30, 0x01, 0x01, 0x00, 0x01, 0x02, 0x01, 0x01, 0x13,
                   0x32, 0x21, 0x03, 0x02, 0xF7}));

  // Values the fields cannot carry are cut to the field's bits instead of leaking past 0x7F.
  state.midiChannel = 0x21;
  state.boostLock = 2;
  setBlock(7, {0x80, 0xFF, 2, 3, 4, 5, 6, 0x1F, 9, 16, 8, 3, 0x0F, 0x85, 0x7F, 1});
  const Bytes m = buildWriteSettings(state);
  ASSERT_EQ(m.size(), kWriteSettingsLength);
  EXPECT_EQ(m[4], 0x01);
  EXPECT_EQ(m[5], 0x00);
  EXPECT_EQ(m[6], 0x7F);
  EXPECT_EQ(m[12], 0x1F);  // high member 9 keeps 3 bits
  EXPECT_EQ(m[13], 0x00);  // 16 and 8 have no bits left in their nibbles
  EXPECT_EQ(m[14], 0x73);
  EXPECT_EQ(m[15], 0x05);
  expectSevenBitPayload(m);

  state.program = 128;
  EXPECT_TRUE(buildWriteSettings(state).empty());
  state.program = -1;
  EXPECT_TRUE(buildWriteSettings(state).empty());
}

TEST_F(ProtocolTest, WriteSettingsIsTheMirrorOfASettingsDump) {
  state.program = 0;
  state.midiChannel = 9;
  state.boostLock = 1;
  setBlock(0, {1, 0, 1, 1, 2, 0, 1, 2, 3, 1, 1, 3, 2, 1, 3, 1});
  const std::vector<int32_t> sent = block(0);
  Bytes m = buildWriteSettings(state);
  m[2] = kSettingsDump;
  state.resetDeviceFields();
  feed(m);
  EXPECT_EQ(block(0), sent);
  EXPECT_EQ(state.midiChannel, 9);
  EXPECT_EQ(state.boostLock, 1);
}

// A WRITE_SETTINGS read back from a file gives the settings it was built from; messages that
// are not one whole WRITE_SETTINGS are refused.
TEST_F(ProtocolTest, WriteSettingsDecodesToWhatItWasBuiltFrom) {
  ProgramSettings s;
  s.program = 93;
  s.midiChannel = 16;
  s.boostLock = 1;
  s.words = {1, 1, 0, 1, 2, 1, 1, 3, 1, 2, 3, 1, 2, 3, 2};
  const Bytes m = buildWriteSettings(s);
  ProgramSettings back;
  ASSERT_TRUE(decodeWriteSettings(m.data(), m.size(), back));
  EXPECT_EQ(back, s);

  const auto with = [&](size_t at, uint8_t value) {
    Bytes bad = m;
    bad[at] = value;
    return bad;
  };
  const Bytes refused[] = {
      Bytes(m.begin(), m.end() - 1),  // no end byte
      with(1, 0x01),                  // another maker
      with(2, kSettingsDump),         // another message
      with(4, 0x40),                  // packed bit 6
      with(9, 0x80),                  // a status byte inside
      with(17, 0xF0),
  };
  for (const Bytes& bad : refused) {
    SCOPED_TRACE(::testing::PrintToString(bad));
    EXPECT_FALSE(decodeWriteSettings(bad.data(), bad.size(), back));
  }
}

TEST_F(ProtocolTest, SettingsDumpRecordsItsProgram) {
  feed(dump(42, 0x01, {0, 0, 0, 0, 0, 0, 0, 0x22, 0x22, 0x22, 0, 0}));
  EXPECT_EQ(link.lastDumpProgram.get(), 42);
  feed(dump(128, 0x01, {0, 0, 0, 0, 0, 0, 0, 0x22, 0x22, 0x22, 0, 0}));  // dropped whole
  EXPECT_EQ(link.lastDumpProgram.get(), 42);
}

TEST(ProtocolChunks, FirmwareChunkOffsetsAndData) {
  std::vector<uint8_t> image(131072);
  for (size_t i = 0; i < image.size(); ++i) image[i] = uint8_t(i * 7 + (i >> 8));
  const Bytes last = buildFirmwareChunk(image.data(), image.size(), 130816);
  ASSERT_EQ(last.size(), kFirmwareChunkLength);
  EXPECT_EQ(Bytes(last.begin(), last.begin() + 9), (Bytes{0xF0, 0x00, 0x07, 0, 1, 0xF, 0xF, 0, 0}));
  for (size_t i = 0; i < 256; ++i) {
    ASSERT_EQ(last[9 + 2 * i], image[130816 + i] >> 4) << i;
    ASSERT_EQ(last[10 + 2 * i], image[130816 + i] & 0x0F) << i;
  }
  EXPECT_EQ(last[521], 0xF7);
  expectSevenBitPayload(last);

  const Bytes first = buildFirmwareChunk(image.data(), image.size(), 0x123456);
  EXPECT_EQ(Bytes(first.begin() + 3, first.begin() + 9), (Bytes{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(Bytes(first.begin() + 9, first.end() - 1), Bytes(512, 0));  // all past the end
  EXPECT_TRUE(buildFirmwareChunk(image.data(), image.size(), 0x1000000).empty());
}

TEST(ProtocolChunks, IrChunkPadsPastTheEndOfTheImage) {
  std::vector<uint8_t> image(16428, 0xA5);  // 4096 samples
  const Bytes m = buildIrChunk(image.data(), image.size(), 16384);
  ASSERT_EQ(m.size(), kIrChunkLength);
  EXPECT_EQ(Bytes(m.begin(), m.begin() + 7), (Bytes{0xF0, 0x00, 0x08, 4, 0, 0, 0}));
  for (size_t i = 0; i < 256; ++i) {
    const uint8_t hi = i < 44 ? 0x0A : 0, lo = i < 44 ? 0x05 : 0;
    ASSERT_EQ(m[7 + 2 * i], hi) << i;
    ASSERT_EQ(m[8 + 2 * i], lo) << i;
  }
  EXPECT_EQ(m[519], 0xF7);

  uint8_t buffer[1024];
  ASSERT_EQ(buildIrChunk(image.data(), image.size(), 16384, buffer), kIrChunkLength);
  EXPECT_EQ(Bytes(buffer, buffer + kIrChunkLength), m);
  EXPECT_EQ(buildIrChunk(image.data(), image.size(), 0x10000, buffer), 0u);
  EXPECT_EQ(buildIrChunk(nullptr, 0, 0).size(), kIrChunkLength);
}

TEST(ProtocolEndTransfer, TargetSizeAndNameField) {
  const Bytes ir = buildEndTransfer(2, 0x402C, "MY CAB");
  ASSERT_EQ(ir.size(), kEndTransferLength);
  EXPECT_EQ(Bytes(ir.begin(), ir.begin() + 14),
            (Bytes{0xF0, 0x00, 0x09, 0x02, 4, 0, 2, 0xC, 'M', 'Y', ' ', 'C', 'A', 'B'}));
  EXPECT_EQ(Bytes(ir.begin() + 14, ir.end() - 1), Bytes(58, 0));
  EXPECT_EQ(ir.back(), 0xF7);

  const Bytes fw = buildEndTransfer(kFirmwareTarget, kFirmwareSizeField, kFirmwareName);
  EXPECT_EQ(Bytes(fw.begin(), fw.begin() + 15),
            (Bytes{0xF0, 0x00, 0x09, 0x10, 0xF, 0xF, 0xF, 0xF, 'O', 'R', 'Q', '.', 'b', 'i', 'n'}));

  const Bytes longName = buildEndTransfer(5, 1, std::string(70, 'X'));
  ASSERT_EQ(longName.size(), kEndTransferLength);
  EXPECT_EQ(Bytes(longName.begin() + 8, longName.end() - 1), Bytes(64, 'X'));
  EXPECT_EQ(longName.back(), 0xF7);

  const Bytes accented = buildEndTransfer(0, 10, "CAF\xC9 \x80\xFF!");
  EXPECT_EQ(Bytes(accented.begin() + 8, accented.begin() + 16),
            (Bytes{'C', 'A', 'F', '?', ' ', '?', '?', '!'}));
  expectSevenBitPayload(accented);

  EXPECT_TRUE(buildEndTransfer(6, 10, "X").empty());
  EXPECT_TRUE(buildEndTransfer(0x11, 10, "X").empty());
  EXPECT_TRUE(buildEndTransfer(0x86, 10, "X").empty());
}

TEST_F(ProtocolTest, SettingsDumpFillsTheBlockOfItsProgram) {
  feed(dump(0, 0x2C, {1, 1, 0, 1, 2, 1, 1, 0x13, 0x32, 0x21, 3, 2}));
  EXPECT_EQ(block(0), (std::vector<int32_t>{1, 1, 0, 1, 2, 1, 1, 3, 1, 2, 3, 1, 2, 3, 2, 1}));
  EXPECT_EQ(state.midiChannel, 12);
  EXPECT_EQ(state.boostLock, 1);
  EXPECT_EQ(link.lastReply, kSettingsDump);

  // Another program's dump leaves the device-wide values alone.
  feed(dump(5, 0x01, {0, 0, 1, 1, 0, 2, 0, 0x22, 0x22, 0x22, 1, 0}));
  EXPECT_EQ(block(5), (std::vector<int32_t>{0, 0, 1, 1, 0, 2, 0, 2, 2, 2, 2, 2, 2, 1, 0, 1}));
  EXPECT_EQ(state.midiChannel, 12);
  EXPECT_EQ(state.boostLock, 1);
  EXPECT_EQ(block(4), std::vector<int32_t>(16, 0));
  EXPECT_EQ(block(6), std::vector<int32_t>(16, 0));
}

TEST_F(ProtocolTest, NibblePairsAreNormalisedEachOnItsOwn) {
  struct Case {
    uint8_t byte;
    int32_t low, high;
  } cases[] = {
      {0x41, 2, 2},  // 1 and 4: out of range
      {0x23, 3, 2},  // stays
      {0x11, 1, 1}, {0x33, 3, 3}, {0x30, 2, 2}, {0x03, 2, 2}, {0x00, 2, 2}, {0xF3, 2, 2},
  };
  for (const Case& c : cases) {
    for (int pair = 0; pair < 3; ++pair) {
      std::vector<uint8_t> bytes = {0, 0, 0, 0, 0, 0, 0, 0x12, 0x12, 0x12, 0, 0};
      bytes[7 + pair] = c.byte;
      feed(dump(1, 0, bytes));
      for (int other = 0; other < 3; ++other) {
        const bool hit = other == pair;
        EXPECT_EQ(word(1, kPresence1 + 2 * other), hit ? c.low : 2) << int(c.byte) << " " << pair;
        EXPECT_EQ(word(1, kPresence2 + 2 * other), hit ? c.high : 1) << int(c.byte) << " " << pair;
      }
    }
  }
}

TEST_F(ProtocolTest, ShortDumpsKeepWhatTheyDoNotCarry) {
  // Every pair byte is 0x31 (1 for channel 1, 3 for channel 2), both gates 3; the last byte of
  // the message is its end, so a shorter dump carries fewer of the trailing entries.
  const std::vector<uint8_t> bytes = {1, 1, 1, 1, 1, 1, 1, 0x31, 0x31, 0x31, 3, 3};
  struct Case {
    size_t length;
    std::vector<int32_t> want;  // words 7..14; before the dump: 2 2 | 3 1 | 3 2 | 2 2
  } cases[] = {
      {18, {1, 3, 1, 3, 1, 3, 3, 3}}, {17, {1, 3, 1, 3, 1, 3, 3, 2}},
      {16, {1, 3, 1, 3, 1, 3, 2, 2}}, {15, {1, 3, 1, 3, 3, 2, 2, 2}},
      {14, {1, 3, 3, 1, 3, 2, 2, 2}},
  };
  for (const Case& c : cases) {
    setBlock(3, {0, 0, 0, 0, 0, 0, 0, 2, 2, 3, 1, 3, 2, 2, 2, 0});
    feed(dump(3, 0, bytes, c.length));
    const std::vector<int32_t> got = block(3);
    EXPECT_EQ(std::vector<int32_t>(got.begin() + 7, got.begin() + 15), c.want) << c.length;
    EXPECT_EQ(got[0], 1) << c.length;
    EXPECT_EQ(got[kReceived], 1) << c.length;
  }
  // A pair that was never received and is not carried is still normalised.
  feed(dump(9, 0, bytes, 14));
  EXPECT_EQ(word(9, kDeep1), 2);
  EXPECT_EQ(word(9, kLowpass2), 2);
}

TEST_F(ProtocolTest, ChangeNotice) {
  struct Case {
    Bytes m;
    int32_t program, lastReply, reread;
  } cases[] = {
      {{0xF0, 0x00, 0x03, 0xF7}, 4, 3, 1},
      {{0xF0, 0x00, 0x03, 0x21, 0xF7}, 0x21, 3, 1},
      {{0xF0, 0x00, 0x03, 0x7F, 0xF7}, 0x7F, 3, 1},
      {{0xF0, 0x00, 0x03, 0x80, 0xF7}, 4, 3, 1},
      {{0xF0, 0x00, 0x03, 0x21, 0x00, 0xF7}, 4, 0, 0},
      {{0xF0, 0x00, 0x03}, 4, 0, 0},
      {{0xF0, 0x01, 0x03, 0xF7}, 4, 0, 0},
  };
  for (const Case& c : cases) {
    state.program = 4;
    link.lastReply = 0;
    link.rereadPending = 0;
    feed(c.m);
    EXPECT_EQ(state.program, c.program) << c.m.size();
    EXPECT_EQ(link.lastReply, c.lastReply) << c.m.size();
    EXPECT_EQ(link.rereadPending, c.reread) << c.m.size();
  }
}

TEST_F(ProtocolTest, SlotNames) {
  const std::string full64 = "abcdefghijklmnopqrstuvwxyz0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ_.";
  struct Case {
    uint8_t slot;
    std::string text;
    std::wstring want;
  } cases[] = {
      {2, "2_my cab", L"MY CAB"},
      {2, "my 2_cab", L"MY 2_CAB"},
      {3, "2_cab", L"2_CAB"},  // another slot's prefix is text
      {0, "0_x", L"X"},
      {5, "5-x", L"5-X"},
      {1, "1_", L""},
      {4, "caf\xE9\x80 ok", L"CAF?? OK"},
      {4, "a\001b\037\177\tc ~", L"A?B???C ~"},  // control bytes, DEL and TAB too
      {1, full64, L"ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ_."},
  };
  for (const Case& c : cases) {
    state.setSlotName(c.slot, L"OLD");
    link.lastReply = 0;
    feed(slotName(c.slot, c.text));
    EXPECT_EQ(state.slotName(c.slot), c.want) << c.text;
    EXPECT_EQ(link.lastReply, kSlotName) << c.text;
  }
  ASSERT_EQ(full64.size(), 64u);

  // Bytes past the 64-byte field are never part of the name.
  feed(slotName(3, full64 + "EXTRA", 90));
  EXPECT_EQ(state.slotName(3).size(), 64u);

  state.setSlotName(4, L"KEEP");
  feed(slotName(4, ""));  // an empty name leaves the old one but is an answer
  EXPECT_EQ(state.slotName(4), L"KEEP");
  EXPECT_EQ(link.lastReply, kSlotName);

  link.lastReply = 0;
  feed(slotName(6, "6_x"));
  feed(slotName(0xFF, "x"));
  feed(slotName(4, "short", 69));
  EXPECT_EQ(link.lastReply, 0);
  EXPECT_EQ(state.slotName(4), L"KEEP");
}

TEST_F(ProtocolTest, VersionAndAck) {
  feed({0xF0, 0x00, 0x0B, 0x01, 0x02, 0xF7});
  EXPECT_EQ(state.deviceFirmwareVersion, 258);
  EXPECT_EQ(link.lastReply, kVersion);
  feed({0xF0, 0x00, 0x0B, 0x7F, 0x7F, 0x00, 0xF7});
  EXPECT_EQ(state.deviceFirmwareVersion, 0x7F7F);

  // Too short to carry both version bytes: an answer, but the version stays.
  for (const Bytes& m : {Bytes{0xF0, 0x00, 0x0B, 0xF7}, Bytes{0xF0, 0x00, 0x0B, 0x03, 0xF7}}) {
    link.lastReply = 0;
    feed(m);
    EXPECT_EQ(link.lastReply, kVersion) << m.size();
    EXPECT_EQ(state.deviceFirmwareVersion, 0x7F7F) << m.size();
  }

  link.lastReply = 0;
  feed({0xF0, 0x00, 0x08});
  EXPECT_EQ(link.lastReply, 0);
  feed({0xF0, 0x00, 0x08, 0xF7});
  EXPECT_EQ(link.lastReply, kAck);
}

TEST_F(ProtocolTest, DroppedMessagesChangeNothing) {
  setBlock(0, {1, 1, 1, 1, 1, 1, 1, 3, 3, 3, 3, 3, 3, 3, 3, 1});
  state.setSlotName(0, L"NAME");
  const std::vector<Bytes> dropped = {
      {},
      {0xF0},
      {0xF0, 0x00},
      {0xF0, 0x00, 0x0B},
      dump(0, 0x05, {0, 0, 0, 0, 0, 0, 0, 0x11, 0x11, 0x11, 0, 0}, 13),
      dump(128, 0x05, {0, 0, 0, 0, 0, 0, 0, 0x11, 0x11, 0x11, 0, 0}),
      dump(255, 0x05, {0, 0, 0, 0, 0, 0, 0, 0x11, 0x11, 0x11, 0, 0}),
      {0xF0, 0x01, 0x0B, 0x01, 0x02, 0xF7},
      {0xF0, 0x7F, 0x08, 0xF7},
      {0xF0, 0x00, 0x00, 0xF7},
      {0xF0, 0x00, 0x01, 0xF7},
      {0xF0, 0x00, 0x05, 0xF7},
      {0xF0, 0x00, 0x07, 0xF7},
      {0xF0, 0x00, 0x0C, 0xF7},
      {0xF0, 0x00, 0xF7, 0xF7},
  };
  Bytes badHeader = dump(0, 0x05, {0, 0, 0, 0, 0, 0, 0, 0x11, 0x11, 0x11, 0, 0});
  badHeader[1] = 0x40;
  for (const Bytes& m : dropped) {
    link.lastReply = 77;
    feed(m);
    EXPECT_EQ(link.lastReply, 77) << m.size();
  }
  feed(badHeader);
  handleReply(nullptr, 18, state, link);
  EXPECT_EQ(link.lastReply, 77);
  EXPECT_EQ(block(0), (std::vector<int32_t>{1, 1, 1, 1, 1, 1, 1, 3, 3, 3, 3, 3, 3, 3, 3, 1}));
  EXPECT_EQ(block(127), std::vector<int32_t>(16, 0));
  EXPECT_EQ(state.midiChannel, 0);
  EXPECT_EQ(state.deviceFirmwareVersion, 0);
  EXPECT_EQ(state.slotName(0), L"NAME");
}

// Every reply code at every length up to past the longest reply, from a buffer of exactly that
// length filled with 0xFF: under AddressSanitizer a read past the end fails here.
TEST_F(ProtocolTest, EveryLengthStaysInsideTheMessage) {
  for (uint8_t code : {0x02, 0x03, 0x04, 0x08, 0x0B}) {
    for (size_t length = 0; length <= 80; ++length) {
      std::vector<uint8_t> m(length, 0xFF);
      if (length > 1) m[1] = 0;
      if (length > 2) m[2] = code;
      if (length > 4) m[4] = 3;  // a valid slot, so names are read
      if (length > 3) m[3] = 0x7F;
      handleReply(m.data(), m.size(), state, link);
      ASSERT_LE(state.slotName(3).size(), 64u);
      ASSERT_LE(state.midiChannel, 31);
    }
  }
  EXPECT_EQ(word(0x7F, kReceived), 1);
}

}  // namespace
}  // namespace orq
