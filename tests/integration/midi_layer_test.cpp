// The pieces under the integration tests that need no MIDI service: port-name tags, the API
// order, the input inbox, and the simulated device's checks and answers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/midi_port.h"
#include "tools/devsim/devsim.h"

namespace {

using orq::devsim::Bytes;
using orq::devsim::Device;

TEST(MidiLayer, DeviceTagKind) {
  struct Case {
    const char* name;
    int kind;
  } cases[] = {
      {"ORQ OR-1 MIDI Out", 0},  // tag in the middle
      {"OR-", 0},                // exactly three characters
      {"KTA", 0},
      {"xxKTB", 1},
      {"orq-devsim:ORQ KTC MIDI In", 2},
      {"KTC OR-", 0},  // tags are tried in order OR-, KTA, KTB, KTC
      {"KTB KTA", 0},
      {"ktb", -1},  // case-sensitive
      {"or-1", -1},
      {"OR", -1},  // shorter than 3
      {"", -1},
      {"K T B", -1},
  };
  for (const Case& c : cases) EXPECT_EQ(orq::deviceTagKind(c.name), c.kind) << c.name;
}

TEST(MidiLayer, ApiOrderPrefersAlsaThenJackAndHonoursTheOverride) {
  std::vector<RtMidi::Api> compiled;
  RtMidi::getCompiledApi(compiled);
  auto has = [&](RtMidi::Api a) {
    for (auto c : compiled)
      if (c == a) return true;
    return false;
  };
  if (!has(RtMidi::LINUX_ALSA) || !has(RtMidi::UNIX_JACK)) GTEST_SKIP() << "needs ALSA and JACK";
  using V = std::vector<RtMidi::Api>;
  const V both{RtMidi::LINUX_ALSA, RtMidi::UNIX_JACK};
  const V jack{RtMidi::UNIX_JACK};
  const V alsa{RtMidi::LINUX_ALSA};
  struct Case {
    const char* forced;
    bool sequencer;
    V order;
  } cases[] = {
      {nullptr, true, both},    {"", true, both},     {nullptr, false, jack},
      {"jack", true, jack},     {"alsa", true, alsa}, {"alsa", false, alsa},  // forced wins
      {"coremidi", true, both},  // unknown: no preference
  };
  for (const Case& c : cases) {
    V order = orq::midiApiOrder(c.forced, c.sequencer);
    // Only the Linux APIs matter here; drop any others a build may carry.
    std::erase_if(order,
                  [](RtMidi::Api a) { return a != RtMidi::LINUX_ALSA && a != RtMidi::UNIX_JACK; });
    EXPECT_EQ(order, c.order) << (c.forced ? c.forced : "(null)") << " " << c.sequencer;
  }
}

// Builds framed requests the way the editor sends them.
Bytes frame(std::initializer_list<uint8_t> body) {
  Bytes m;
  m.push_back(0xF0);
  m.push_back(0x00);
  for (uint8_t b : body) m.push_back(b);
  m.push_back(0xF7);
  return m;
}

Bytes chunk(uint8_t code, uint32_t offset, uint8_t fill) {
  Bytes m{0xF0, 0x00, code};
  const int nibbles = code == 0x07 ? 6 : 4;
  for (int i = nibbles - 1; i >= 0; --i) m.push_back((offset >> (4 * i)) & 0x0F);
  for (int i = 0; i < 256; ++i) {
    m.push_back(fill >> 4);
    m.push_back(fill & 0x0F);
  }
  m.push_back(0xF7);
  return m;
}

Bytes endTransfer(uint8_t target, uint16_t size, const std::string& name) {
  Bytes m{0xF0, 0x00, 0x09, target};
  for (int i = 3; i >= 0; --i) m.push_back((size >> (4 * i)) & 0x0F);
  Bytes field(64, 0);
  for (size_t i = 0; i < name.size() && i < 64; ++i) field[i] = static_cast<uint8_t>(name[i]);
  m.insert(m.end(), field.begin(), field.end());
  m.push_back(0xF7);
  return m;
}

TEST(SimulatedDevice, NamesAndRefusesMalformedRequests) {
  struct Case {
    Bytes message;
    const char* name;
  } cases[] = {
      {frame({0x0B}), "IDENTIFY"},
      {frame({0x02, 0x05}), "READ_SETTINGS"},
      {frame({0x04, 0x05}), "READ_SLOT_NAME"},
      {frame({0x04, 0x06}), "MALFORMED"},  // no slot 6
      {frame({0x0B, 0x00}), "MALFORMED"},  // wrong length
      {Bytes{0xF0, 0x01, 0x0B, 0xF7}, "MALFORMED"},
      {Bytes{0xF0, 0x00, 0x0B}, "MALFORMED"},  // no end byte
      {frame({0x02, 0x85}), "MALFORMED"},      // data byte with the top bit
      {frame({0x55}), "UNKNOWN"},
      {chunk(0x08, 0x1000, 0xAB), "IR_CHUNK"},
      {chunk(0x07, 0x1FF00, 0xAB), "FIRMWARE_CHUNK"},
      {endTransfer(3, 100, "CAB"), "END_TRANSFER"},
      {endTransfer(0x0F, 100, "CAB"), "MALFORMED"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(orq::devsim::requestName(c.message), c.name) << orq::devsim::hex(c.message);
}

TEST(SimulatedDevice, StoresSettingsAndIrsAndAnswersAsTheDeviceDoes) {
  orq::devsim::Options o;
  o.firmware = 0x0105;
  o.dropAckChunk = 2;
  Device d(o);

  EXPECT_EQ(d.receive(frame({0x0B})), std::vector<Bytes>{frame({0x0B, 0x01, 0x05})});

  const Bytes write = frame({0x01, 9, 0x23, 1, 1, 0, 1, 2, 1, 1, 0x13, 0x32, 0x11, 3, 2});
  EXPECT_TRUE(d.receive(write).empty());
  const auto dump = d.receive(frame({0x02, 9}));
  ASSERT_EQ(dump.size(), 1u);
  Bytes expected = write;
  expected[2] = 0x02;  // the dump mirrors the write
  EXPECT_EQ(dump[0], expected);

  // Chunks are acknowledged except the dropped one; the commit stores the image and the name
  // with the slot number in front, then acknowledges and announces the change.
  EXPECT_EQ(d.receive(chunk(0x08, 0, 0x11)).size(), 1u);
  EXPECT_EQ(d.receive(chunk(0x08, 256, 0x22)).size(), 1u);
  EXPECT_TRUE(d.receive(chunk(0x08, 512, 0x33)).empty());
  const auto commit = d.receive(endTransfer(4, 600, "MY CAB"));
  ASSERT_EQ(commit.size(), 2u);
  EXPECT_EQ(commit[0], frame({0x08}));
  EXPECT_EQ(commit[1][2], 0x03);
  EXPECT_EQ(d.slotNames[4], "4_MY CAB");
  ASSERT_EQ(d.slotImages[4].size(), 600u);
  EXPECT_EQ(d.slotImages[4][0], 0x11);
  EXPECT_EQ(d.slotImages[4][300], 0x22);
  EXPECT_EQ(d.slotImages[4][599], 0x33);
  const auto name = d.receive(frame({0x04, 4}));
  ASSERT_EQ(name.size(), 1u);
  ASSERT_EQ(name[0].size(), 70u);
  EXPECT_EQ(std::string(name[0].begin() + 5, name[0].begin() + 13), "4_MY CAB");
  EXPECT_EQ(name[0][13], 0);
}

// The device takes a firmware image only when its 512 chunks came in order, each once, and runs
// it from the next RESET on; anything else leaves its commit unconfirmed and its version as is.
TEST(SimulatedDevice, TakesOnlyAWholeFirmwareImageInOrderAndRunsItAfterReset) {
  std::vector<uint32_t> inOrder;
  for (uint32_t offset = 0; offset < 131072; offset += 256) inOrder.push_back(offset);
  auto without = [&](uint32_t offset) {
    std::vector<uint32_t> v = inOrder;
    std::erase(v, offset);
    return v;
  };
  auto repeated = [&](size_t at) {
    std::vector<uint32_t> v = inOrder;
    v.insert(v.begin() + static_cast<long>(at), v[at]);
    return v;
  };
  auto swapped = [&](size_t at) {
    std::vector<uint32_t> v = inOrder;
    std::swap(v[at], v[at + 1]);
    return v;
  };
  const struct {
    const char* what;
    std::vector<uint32_t> offsets;
    bool resetBeforeCommit, keepFirmware, taken;
    uint16_t after;  // version after the commit and a RESET
  } cases[] = {
      {"whole, in order", inOrder, false, false, true, 0x0303},
      {"chunk 10 missing", without(2560), false, false, false, 0x0102},
      {"last chunk missing", without(130816), false, false, false, 0x0102},
      {"chunk 0 twice", repeated(0), false, false, false, 0x0102},
      {"two chunks swapped", swapped(100), false, false, false, 0x0102},
      {"reset before the commit", inOrder, true, false, false, 0x0102},
      {"whole, but the flash does not take", inOrder, false, true, true, 0x0102},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    orq::devsim::Options o;
    o.keepFirmware = c.keepFirmware;
    Device d(o);
    for (uint32_t offset : c.offsets) {
      // The stamp's two bytes lie in the last chunk: version 0x0303.
      ASSERT_EQ(d.receive(chunk(0x07, offset, offset == 130816 ? 0x03 : 0x5A)).size(), 1u);
    }
    if (c.resetBeforeCommit) d.receive(frame({0x0C}));
    const auto commit = d.receive(endTransfer(0x10, 0xFFFF, "ORQ.bin"));
    EXPECT_EQ(!commit.empty(), c.taken);
    EXPECT_EQ(d.firmware, 0x0102);  // not before the reset
    d.receive(frame({0x0C}));
    EXPECT_EQ(d.firmware, c.after);
    EXPECT_EQ(d.restarting, c.taken);
    EXPECT_EQ(d.receive(frame({0x0B})),
              std::vector<Bytes>{frame({0x0B, uint8_t(c.after >> 8), uint8_t(c.after & 0x7F)})});
  }
}

TEST(SimulatedDevice, IgnoredRequestKindGetsNoAnswer) {
  orq::devsim::Options o;
  o.ignoreCode = 0x02;
  Device d(o);
  EXPECT_TRUE(d.receive(frame({0x02, 0})).empty());
  EXPECT_EQ(d.receive(frame({0x04, 0})).size(), 1u);
  EXPECT_EQ(d.receive(frame({0x0B})).size(), 1u);
}

}  // namespace
