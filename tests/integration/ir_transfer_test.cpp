// IR uploads through the worker against the simulated device: what arrives in the slot, what
// goes over the wire, and how a transfer ends when the device or the editor lets it down.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <set>

#include "app/platform_offscreen.h"
#include "files/file_path.h"
#include "ir/catalogue.h"
#include "ir/ir_file.h"
#include "ir/wav_import.h"
#include "tests/integration/worker_fixture.h"

namespace {

using namespace worker_test;

// SELECT in the browser of `slot` (1..6) with `entry` chosen, as the panel hands it over.
void select(orq::Ui& ui, int slot, int entry) {
  ui.commandSlot = slot;
  ui.commandEntry = entry;
  ui.pendingCommand.publish(orq::kCommandUploadFactoryIr);
}

std::vector<Record> named(const Simulator& sim, const std::string& name) {
  std::vector<Record> out;
  for (const Record& r : received(sim))
    if (r.name == name) out.push_back(r);
  return out;
}

std::vector<uint8_t> imageOf(const orq::Ui& ui, int entry) {
  const orq::IrSamples ir = orq::blobSamples(ui.catalogue[entry].blob);
  std::vector<uint8_t> image;
  EXPECT_TRUE(orq::encodeIrFile(ir.data, ir.count, image));
  return image;
}

TEST(IrTransfer, CatalogueEntriesArriveInTheSlotByteForByte) {
  auto sim = startSim(simOptions("ORQ OR-1 ir"));
  ASSERT_TRUE(sim);
  Editor ed;
  ed.start();
  ASSERT_TRUE(ed.connected());
  orq::Ui& ui = ed.ui();
  const struct {
    int entry, slot;
    size_t imageBytes, chunks, realInLast;
  } cases[] = {
      {0, 1, 16428, 65, 44},   // 4096 samples
      {2, 4, 9628, 38, 156},   // 2396 samples
      {13, 6, 39980, 157, 44}  // 9984 samples
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.entry);
    sim->clearRecords();
    select(ui, c.slot, c.entry);
    // Done when the device has been read again after the commit, up to the last slot name.
    ASSERT_TRUE(sim->waitFor(
        [](const auto& r) {
          for (const Record& x : r)
            if (!x.sent && x.name == "READ_SLOT_NAME" && x.bytes[3] == 5) return true;
          return false;
        },
        8000ms));
    ASSERT_TRUE(ed.connected());

    const std::vector<uint8_t> image = imageOf(ui, c.entry);
    ASSERT_EQ(image.size(), c.imageBytes);
    const int wire = c.slot - 1;
    EXPECT_EQ(sim->device().slotImages[wire], image);

    const auto chunks = named(*sim, "IR_CHUNK");
    ASSERT_EQ(chunks.size(), c.chunks);
    const Bytes& last = chunks.back().bytes;
    const size_t lastOffset = (c.chunks - 1) * 256;
    EXPECT_EQ(last[3] << 12 | last[4] << 8 | last[5] << 4 | last[6], int(lastOffset));
    // Past the image's end the last chunk carries zero pairs only.
    for (size_t i = c.realInLast; i < 256; ++i)
      ASSERT_TRUE(last[7 + 2 * i] == 0 && last[8 + 2 * i] == 0) << "pair " << i;

    // The commit: slot, the image size as four nibbles, the device name zero-padded.
    const auto commit = named(*sim, "END_TRANSFER");
    ASSERT_EQ(commit.size(), 1u);
    Bytes want(73, 0);
    want[0] = 0xF0;
    want[2] = 0x09;
    want[3] = static_cast<uint8_t>(wire);
    for (int i = 0; i < 4; ++i) want[4 + i] = (c.imageBytes >> (12 - 4 * i)) & 0x0F;
    const std::string name = orq::deviceIrName(ui.catalogue[c.entry].name);
    std::copy(name.begin(), name.end(), want.begin() + 8);
    want[72] = 0xF7;
    EXPECT_EQ(commit[0].bytes, want);

    // Then the device's CHANGE_NOTICE makes the editor read everything again, once.
    const auto all = received(*sim);
    EXPECT_EQ(all[c.chunks].name, "END_TRANSFER");
    EXPECT_EQ(all.size(), c.chunks + 1 + fullRead(0).size());
    EXPECT_EQ(ui.slotName(wire), ui.catalogue[c.entry].name);
    EXPECT_EQ(ui.statusCode.get(), orq::kStatusIdle);
    EXPECT_EQ(ui.linkState.get(), orq::kConnected);
  }
}

// A device that acknowledges the commit but never says it changed is read again anyway.
TEST(IrTransfer, SilentDeviceAfterTheCommitStillUnlocksThePanel) {
  auto o = simOptions("ORQ KTB quiet");
  o.noticeAfterCommit = false;
  auto sim = startSim(o);
  ASSERT_TRUE(sim);
  Editor ed;
  ed.start();
  ASSERT_TRUE(ed.connected());
  sim->clearRecords();
  select(ed.ui(), 2, 1);
  ASSERT_TRUE(sim->waitFor(
      [](const auto& r) {
        return !r.empty() && r.back().name == "ACK" && r.size() > 2 &&
               r[r.size() - 2].name == "END_TRANSFER";
      },
      5000ms));
  ASSERT_TRUE(ed.connected(3000ms));
  EXPECT_EQ(countReceived(*sim, "IDENTIFY"), 1);
  EXPECT_EQ(ed.ui().slotName(1), ed.ui().catalogue[1].name);
}

// A transfer that cannot finish is a failure: no commit, the panel shows ERROR, the device is
// read again. A missing ACK, and a port closed underneath the transfer.
TEST(IrTransfer, TransfersThatBreakOffEndInErrorWithoutCommit) {
  for (bool dropAck : {true, false}) {
    SCOPED_TRACE(dropAck ? "ACK of chunk 5 missing" : "port closed midway");
    auto o = simOptions(dropAck ? "ORQ OR-1 drop" : "ORQ OR-1 fault");
    if (dropAck) o.dropAckChunk = 5;
    auto sim = startSim(o);
    ASSERT_TRUE(sim);
    Editor ed;
    ed.start();
    ASSERT_TRUE(ed.connected());
    sim->clearRecords();
    select(ed.ui(), 3, 0);
    if (!dropAck) {
      ASSERT_TRUE(sim->waitFor([](const auto& r) { return r.size() >= 20; }, 5000ms));
      ed.link.portFault = 1;  // what the MIDI library's error callback leaves for the worker
    }
    std::set<int32_t> states;
    ASSERT_TRUE(waitUntil(
        [&] {
          states.insert(ed.ui().linkState.get());
          return countReceived(*sim, "IDENTIFY") >= 1 && ed.ui().linkState.get() == orq::kConnected;
        },
        8000ms));
    EXPECT_EQ(states.count(orq::kError), 1u);
    EXPECT_EQ(countReceived(*sim, "END_TRANSFER"), 0);
    if (dropAck) {
      EXPECT_EQ(countReceived(*sim, "IR_CHUNK"), 6);
    }
    EXPECT_TRUE(sim->device().slotImages[2].empty());
  }
}

TEST(IrTransfer, StopDuringATransferSendsNothingMore) {
  auto sim = startSim(simOptions("ORQ KTC stop"));
  ASSERT_TRUE(sim);
  Editor ed;
  ed.start();
  ASSERT_TRUE(ed.connected());
  sim->clearRecords();
  select(ed.ui(), 1, 14);
  ASSERT_TRUE(sim->waitFor([](const auto& r) { return r.size() >= 20; }, 5000ms));
  // Counted at the request, not after the join: a worker that went on would send its chunks
  // before it ended. One chunk may be on its way (sent before the worker saw the flag).
  ed.link.stopRequested = 1;
  const size_t sent = received(*sim).size();
  std::this_thread::sleep_for(200ms);
  ed.stop();
  EXPECT_LE(received(*sim).size(), sent + 1);
  EXPECT_EQ(countReceived(*sim, "END_TRANSFER"), 0);
}

// A WAV file of `frames` frames: a decaying tone after 50 quiet samples, the second channel (if
// any) different so that taking the wrong one would show.
void writeWav(const std::string& path, int rate, int channels, int format, int frames) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = channels;
  info.format = format;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
  std::vector<float> x(static_cast<size_t>(frames) * channels);
  for (int i = 50; i < frames; ++i) {
    for (int c = 0; c < channels; ++c)
      x[static_cast<size_t>(i) * channels + c] =
          static_cast<float>(std::exp(-i / 400.0) * std::sin(i * (0.3 + c)) * 0.9);
  }
  sf_writef_float(f, x.data(), frames);
  sf_close(f);
}

// The folder icon of a slot, answered in the file dialog with `path` (empty: cancelled).
void importThrough(Editor& ed, int slot, const std::wstring& path) {
  orq::offscreen::queueDialogAnswer(path);
  ed.ui().pendingCommand = orq::kCommandImportFirst + slot;
}

TEST(IrTransfer, ImportedFilesArriveAsConvertedAndRefusedOnesChangeNothing) {
  auto sim = startSim(simOptions("ORQ KTB import"));
  ASSERT_TRUE(sim);
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("orq-import-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  orq::offscreen::resetDialogs();
  Editor ed;
  ed.start();
  ASSERT_TRUE(ed.connected());
  orq::Ui& ui = ed.ui();

  // Accepted: 44.1 kHz stereo 16-bit under a name with any characters, into slot 5 (wire 4).
  const std::string good = (dir / "My Cab \xc3\xa9 \xe4\xb8\x80.wav").string();
  writeWav(good, 44100, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 3000);
  sim->clearRecords();
  importThrough(ed, 4, orq::widePath(good));
  ASSERT_TRUE(sim->waitFor(
      [](const auto& r) {
        for (const Record& x : r)
          if (!x.sent && x.name == "READ_SLOT_NAME" && x.bytes[3] == 5) return true;
        return false;
      },
      8000ms));
  ASSERT_TRUE(ed.connected());
  const orq::ImportedIr ir = orq::importWavFile(orq::widePath(good));
  ASSERT_EQ(ir.verdict, orq::WavVerdict::Accepted);
  std::vector<uint8_t> image;
  ASSERT_TRUE(
      orq::encodeIrFile(ir.samples.data(), static_cast<uint32_t>(ir.samples.size()), image));
  EXPECT_EQ(sim->device().slotImages[4], image);
  EXPECT_EQ(ui.slotName(4), L"MY CAB ? ?");
  EXPECT_EQ(orq::offscreen::dialogModes(), std::vector<int32_t>{orq::kDialogWav});

  // Refused: each ends the busy state with nothing sent and the slot as it was.
  const std::string slow = (dir / "slow.wav").string(), wide = (dir / "quad.wav").string(),
                    junk = (dir / "junk.wav").string();
  writeWav(slow, 22050, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1000);
  writeWav(wide, 48000, 4, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1000);
  std::ofstream(junk) << "RIFF not really a wave file at all";
  const std::string refused[] = {slow, wide, junk, (dir / "missing.wav").string(), ""};
  for (const std::string& path : refused) {
    SCOPED_TRACE(path.empty() ? "cancelled" : path);
    sim->clearRecords();
    const size_t asked = orq::offscreen::dialogModes().size();
    importThrough(ed, 0, orq::widePath(path));
    // The dialog is asked for once the panel is locked; the refusal unlocks it again.
    ASSERT_TRUE(waitUntil([&] { return orq::offscreen::dialogModes().size() > asked; }, 2000ms));
    ASSERT_TRUE(ed.connected(1000ms));
    EXPECT_TRUE(received(*sim).empty());
    EXPECT_EQ(ui.linkState.get(), orq::kConnected);
    EXPECT_EQ(ui.slotName(0), L"GREEN 412");
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
