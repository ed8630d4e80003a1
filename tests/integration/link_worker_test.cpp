// The device worker against the simulated device over a real MIDI service (a private JACK
// server: run under scripts/with-jack.sh). Each test starts its own worker thread and its own
// simulator; the simulator's record shows exactly what went over the wire.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "device/device_ops.h"
#include "tests/integration/worker_fixture.h"

namespace {

using namespace worker_test;

// A command given while there is no device waits for it: it is carried out after the device
// appears and has been read.
TEST(LinkWorker, CommandWaitsForTheDevice) {
  std::unique_ptr<Simulator> sim;  // goes after the editor (see PortNameTagsDecideDeviceAndModel)
  Editor ed;
  ed.ui().pendingCommand = orq::kCommandStore;
  ed.start();
  std::this_thread::sleep_for(300ms);  // passes with no device
  sim = startSim(simOptions("ORQ OR-8 late"));
  ASSERT_TRUE(sim);
  ASSERT_TRUE(
      sim->waitFor([](const auto& r) { return !r.empty() && r.back().name == "STORE"; }, 5000ms));
  std::vector<Bytes> want = fullRead(0);
  want.push_back({0xF0, 0x00, 0x0A, 0xF7});
  EXPECT_EQ(receivedBytes(*sim), want);
}

// Port names decide whether the ports are the device's and which model it is.
TEST(LinkWorker, PortNameTagsDecideDeviceAndModel) {
  struct Case {
    const char* base;
    bool found;
    int kind;
  } cases[] = {
      {"ORQ OR-1", true, 0}, {"Rack KTA unit", true, 0}, {"desk KTB unit", true, 1},
      {"XKTC", true, 2},     {"orq ktb midi", false, 0}, {"or-1 kta ktc", false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.base);
    auto sim = startSim(simOptions(c.base));
    ASSERT_TRUE(sim);
    // Declared before the editor so that it goes after it: libjack can crash when a client of
    // this process is closed while another client here is still connected to its ports.
    std::unique_ptr<Simulator> tagged;
    Editor ed;
    ed.start();
    if (c.found) {
      ASSERT_TRUE(ed.connected());
      EXPECT_EQ(ed.ui().modelKind.get(), c.kind);
    } else {
      // A tagged device that appears later is read, so the ports were enumerated meanwhile.
      tagged = startSim(simOptions("ORQ KTC witness"));
      ASSERT_TRUE(tagged);
      ASSERT_TRUE(ed.connected());
      EXPECT_EQ(ed.ui().modelKind.get(), 2);
      EXPECT_TRUE(received(*sim).empty());
    }
  }
}

TEST(LinkWorker, ConnectReadsVersionSettingsAndSlotNames) {
  auto o = simOptions("ORQ KTB-7");
  o.firmware = 0x0304;
  auto sim = startSim(o);
  ASSERT_TRUE(sim);
  Editor ed;
  ed.start();
  ASSERT_TRUE(ed.connected());

  EXPECT_EQ(receivedBytes(*sim), fullRead(0));
  orq::Ui& ui = ed.ui();
  EXPECT_EQ(ui.deviceFirmwareVersion.get(), 0x0304);
  EXPECT_EQ(ui.statusCode.get(), orq::kStatusIdle);
  EXPECT_EQ(ui.modelKind.get(), 1);
  EXPECT_EQ(ed.link.failureCount.get(), 0);
  EXPECT_EQ(ui.midiChannel.get(), 1);
  // The simulator's program 0: IR selects 0 / 1, every three-way pair 2 / 2.
  const int expected[16] = {0, 0, 0, 0, 0, 1, 0, 2, 2, 2, 2, 2, 2, 0, 0, 1};
  for (int w = 0; w < 16; ++w) EXPECT_EQ(ui.programBlocks[0][w].get(), expected[w]) << "word " << w;
  // The device keeps "<slot>_" in front of each name; the editor shows the rest.
  const wchar_t* names[6] = {L"GREEN 412", L"BRIT 2X12",   L"JUBILEE V30",
                             L"CALI 4X12", L"DELUXE 1X12", L"BASS 8X10"};
  for (int s = 0; s < 6; ++s) EXPECT_EQ(ui.slotName(s), names[s]);
}

TEST(LinkWorker, DeviceThatNeverAnswersIsResetAndReadAgain) {
  auto o = simOptions("ORQ OR-9 silent");
  o.silent = true;
  auto sim = startSim(o);
  ASSERT_TRUE(sim);
  Editor ed;
  ed.start();

  // IDENTIFY, READ_SETTINGS and the first READ_SLOT_NAME time out one after the other (a second
  // each; the bound is generous for a loaded machine, the first includes the worker's start).
  for (int failures = 1; failures <= 3; ++failures) {
    ASSERT_TRUE(waitUntil([&] { return ed.link.failureCount.get() >= failures; }, 5000ms))
        << "failure " << failures;
    EXPECT_EQ(ed.ui().linkState.get(), orq::kError);
  }
  // The next pass recovers: RESET on the wire, a second with the ports open, then closed, and
  // a full read again.
  ASSERT_TRUE(sim->waitFor(
      [](const std::vector<Record>& r) {
        int identify = 0;
        for (const Record& x : r) identify += !x.sent && x.name == "IDENTIFY";
        return identify >= 2;
      },
      4000ms));
  const std::vector<Record> rec = received(*sim);
  std::vector<std::string> names;
  for (const Record& r : rec) names.push_back(r.name);
  const std::vector<std::string> want = {"IDENTIFY", "READ_SETTINGS", "READ_SLOT_NAME", "RESET",
                                         "IDENTIFY"};
  ASSERT_EQ(names, want);
  EXPECT_EQ(rec[3].bytes, (Bytes{0xF0, 0x00, 0x0C, 0xF7}));
  // Lower bounds only: how long each step takes is measured by bench/devlink.
  const auto failing = std::chrono::duration<double>(rec[3].time - rec[0].time).count();
  const auto recovery = std::chrono::duration<double>(rec[4].time - rec[3].time).count();
  EXPECT_GT(failing, 2.9);    // three waits of 200 polls of 5 ms
  EXPECT_GT(recovery, 0.99);  // the recovery pause, then a fresh open
}

TEST(LinkWorker, DeviceThatNeverSendsSettingsIsReadAgainWithoutReset) {
  auto o = simOptions("ORQ OR-2 nosettings");
  o.ignoreCode = 0x02;
  auto sim = startSim(o);
  ASSERT_TRUE(sim);
  Editor ed;
  ed.start();
  // Each full read ends in error but with the failure count cleared by the six slot names, so
  // the device is read again and again and never reset, and the panel never unlocks.
  std::set<int32_t> states;
  int32_t maxFailures = 0;
  ASSERT_TRUE(waitUntil(
      [&] {
        states.insert(ed.ui().linkState.get());
        maxFailures = std::max(maxFailures, ed.link.failureCount.get());
        return countReceived(*sim, "IDENTIFY") >= 3;
      },
      6000ms));
  EXPECT_EQ(countReceived(*sim, "RESET"), 0);
  EXPECT_EQ(states.count(orq::kConnected), 0u);
  EXPECT_EQ(states.count(orq::kError), 1u);
  EXPECT_LE(maxFailures, 1);
  EXPECT_GE(countReceived(*sim, "READ_SLOT_NAME"), 12);
  // The model stays known while the device keeps failing.
  EXPECT_EQ(ed.ui().modelKind.get(), 0);
}

// Regression: a device answering with another program's dump counted as never answering, and
// the editor was locked in ERROR, reading and resetting it over and over.
TEST(LinkWorker, DumpOfAnotherProgramCountsAsAnAnswer) {
  auto o = simOptions("ORQ OR-1 otherdump");
  o.dumpOtherProgram = true;
  auto sim = startSim(o);
  ASSERT_TRUE(sim);
  Editor ed;
  ed.start();
  ASSERT_TRUE(ed.connected());
  EXPECT_EQ(ed.ui().programBlocks[1][orq::kReceived].get(), 1);
  EXPECT_EQ(ed.link.failureCount.get(), 0);
  EXPECT_EQ(countReceived(*sim, "RESET"), 0);
}

TEST(LinkWorker, CommandsPutTheirExactBytesOnTheWire) {
  auto sim = startSim(simOptions("ORQ KTC cmd"));
  ASSERT_TRUE(sim);
  Editor ed;
  ed.start();
  ASSERT_TRUE(ed.connected());
  orq::Ui& ui = ed.ui();
  sim->clearRecords();

  // 1: the current program's block, packed MIDI channel and boost lock.
  ui.program = 5;
  ui.midiChannel = 12;
  ui.boostLock = 1;
  const int block[15] = {1, 1, 0, 1, 2, 1, 1, 3, 1, 2, 3, 1, 1, 3, 2};
  for (int w = 0; w < 15; ++w) ui.programBlocks[5][w] = block[w];
  ui.pendingCommand = 1;
  ASSERT_TRUE(sim->waitFor([](const auto& r) { return !r.empty(); }, 3000ms));
  const Bytes write{0xF0, 0x00, 0x01, 0x05, 0x2C, 1,    1, 0, 1,
                    2,    1,    1,    0x13, 0x32, 0x11, 3, 2, 0xF7};
  EXPECT_EQ(receivedBytes(*sim), std::vector<Bytes>{write});
  EXPECT_EQ(ui.pendingCommand.get(), 0);
  EXPECT_EQ(ui.linkState.get(), orq::kConnected);

  // 2: read this program back; the device now holds what was written.
  sim->clearRecords();
  for (int w = 0; w < 16; ++w) ui.programBlocks[5][w] = 0;
  ui.pendingCommand = 2;
  ASSERT_TRUE(waitUntil([&] { return ui.programBlocks[5][orq::kReceived].get() == 1; }, 3000ms));
  EXPECT_EQ(receivedBytes(*sim), std::vector<Bytes>{Bytes({0xF0, 0x00, 0x02, 0x05, 0xF7})});
  for (int w = 0; w < 15; ++w) EXPECT_EQ(ui.programBlocks[5][w].get(), block[w]) << "word " << w;
  ASSERT_TRUE(waitUntil([&] { return ui.linkState.get() == orq::kConnected; }, 100ms));

  // 3: STORE, shown as storing for half a second.
  sim->clearRecords();
  ui.pendingCommand = 3;
  ASSERT_TRUE(waitUntil([&] { return ui.statusCode.get() == orq::kStatusStoring; }, 3000ms));
  EXPECT_EQ(ui.linkState.get(), orq::kBusy);
  const auto storing = Clock::now();
  ASSERT_TRUE(waitUntil([&] { return ui.statusCode.get() == orq::kStatusIdle; }, 1500ms));
  EXPECT_GT(Clock::now() - storing, 400ms);
  EXPECT_EQ(ui.linkState.get(), orq::kConnected);
  EXPECT_EQ(receivedBytes(*sim), std::vector<Bytes>{Bytes({0xF0, 0x00, 0x0A, 0xF7})});
  EXPECT_EQ(sim->device().stores, 1);
}

TEST(LinkWorker, CommandsWithoutWorkAreClearedAndSendNothing) {
  auto sim = startSim(simOptions("ORQ OR-3 codes"));
  ASSERT_TRUE(sim);
  Editor ed;
  ed.start();
  ASSERT_TRUE(ed.connected());
  sim->clearRecords();
  orq::Ui& ui = ed.ui();
  // Unknown codes; imports and an export whose dialog was cancelled; SELECT with no browser.
  // Each is followed by a READ_SETTINGS, whose answer shows the worker has finished with it.
  const int codes[] = {12, -1, 1000, 4, 9, 10, 11};
  for (int code : codes) {
    SCOPED_TRACE(code);
    ui.pendingCommand = code;
    ASSERT_TRUE(waitUntil([&] { return ui.pendingCommand.get() == 0; }, 1000ms));
    ui.programBlocks[0][orq::kReceived] = 0;
    ui.pendingCommand = orq::kCommandReadSettings;
    ASSERT_TRUE(waitUntil([&] { return ui.programBlocks[0][orq::kReceived].get() == 1; }, 3000ms));
    ASSERT_TRUE(ed.connected(1000ms));
    EXPECT_EQ(ui.statusCode.get(), orq::kStatusIdle);
  }
  EXPECT_EQ(receivedBytes(*sim),
            std::vector<Bytes>(std::size(codes), Bytes{0xF0, 0x00, 0x02, 0x00, 0xF7}));
}

TEST(LinkWorker, ChangeNoticeMakesTheEditorReadAgain) {
  auto sim = startSim(simOptions("ORQ OR-4 notice"));
  ASSERT_TRUE(sim);
  Editor ed;
  ed.start();
  ASSERT_TRUE(ed.connected());
  sim->clearRecords();
  sim->changeProgram(7);
  ASSERT_TRUE(
      waitUntil([&] { return ed.ui().programBlocks[7][orq::kReceived].get() == 1; }, 3000ms));
  ASSERT_TRUE(ed.connected(3000ms));
  EXPECT_EQ(ed.ui().program.get(), 7);
  EXPECT_EQ(receivedBytes(*sim), fullRead(7));
  EXPECT_EQ(ed.ui().programBlocks[7][orq::kIrSelect1].get(), 7 % 3);
}

TEST(LinkWorker, UnplugClearsTheDeviceAndReplugReadsItAgain) {
  auto o = simOptions("ORQ KTB plug");
  o.firmware = 0x0201;
  auto sim = startSim(o);
  ASSERT_TRUE(sim);
  Editor ed;
  ed.start();
  ASSERT_TRUE(ed.connected());
  ASSERT_EQ(ed.ui().deviceFirmwareVersion.get(), 0x0201);

  sim->unplug(0ms);
  ASSERT_TRUE(waitUntil([&] { return ed.ui().linkState.get() == orq::kNoDevice; }, 1000ms));
  orq::Ui& ui = ed.ui();
  EXPECT_EQ(ui.deviceFirmwareVersion.get(), 0);
  EXPECT_EQ(ui.modelKind.get(), 0);
  EXPECT_EQ(ui.programBlocks[0][orq::kReceived].get(), 0);
  EXPECT_EQ(ui.slotName(0), L"");
  EXPECT_EQ(ui.statusCode.get(), orq::kStatusIdle);

  sim->clearRecords();
  sim->plug();
  ASSERT_TRUE(ed.connected());
  EXPECT_EQ(receivedBytes(*sim), fullRead(0));
  EXPECT_EQ(ui.deviceFirmwareVersion.get(), 0x0201);
  EXPECT_EQ(ui.modelKind.get(), 1);
  EXPECT_EQ(ui.slotName(5), L"BASS 8X10");
}

// Malformed and foreign traffic in front of every reply, and replies that come late but within
// the budget, still give a complete read.
TEST(LinkWorker, GarbageAndLateRepliesStillGiveACompleteRead) {
  auto o = simOptions("ORQ OR-5 noisy");
  o.garbage = true;
  o.replyDelayMs = 150;
  auto sim = startSim(o);
  ASSERT_TRUE(sim);
  Editor ed;
  ed.start();
  ASSERT_TRUE(ed.connected(5000ms));
  EXPECT_EQ(ed.link.failureCount.get(), 0);
  EXPECT_EQ(ed.ui().deviceFirmwareVersion.get(), 0x0102);
  EXPECT_EQ(ed.ui().slotName(2), L"JUBILEE V30");
  EXPECT_EQ(receivedBytes(*sim), fullRead(0));
}

// Chunk-sized messages (IR and firmware chunks are 520 and 522 bytes) must cross the service
// whole in both directions: here a long SLOT_NAME from the device, whose name counts.
TEST(LinkWorker, LongSysexArrivesWhole) {
  auto sim = startSim(simOptions("ORQ OR-7 long"));
  ASSERT_TRUE(sim);
  Editor ed;
  ed.start();
  ASSERT_TRUE(ed.connected());
  Bytes big(600, 0x00);
  big[0] = 0xF0;
  big[2] = 0x04;
  big[4] = 0x02;
  for (int i = 0; i < 64; ++i) big[5 + i] = static_cast<uint8_t>('A' + i % 26);
  big[599] = 0xF7;
  sim->sendRaw(big);
  ASSERT_TRUE(waitUntil([&] { return ed.ui().slotName(2).size() == 64; }, 3000ms));
  EXPECT_EQ(ed.ui().slotName(2).substr(0, 28), L"ABCDEFGHIJKLMNOPQRSTUVWXYZAB");
}

// The editor must be able to close at any moment: inside a reply wait, and inside the store
// display pause. How fast it ends is measured by bench/devlink.
TEST(LinkWorker, StopInsideAWaitFinishesNothing) {
  for (bool duringStore : {false, true}) {
    SCOPED_TRACE(duringStore);
    auto o = simOptions("ORQ OR-6 stop");
    o.silent = !duringStore;
    auto sim = startSim(o);
    ASSERT_TRUE(sim);
    Editor ed;
    ed.start();
    if (duringStore) {
      ASSERT_TRUE(ed.connected());
      ed.ui().pendingCommand = 3;
      ASSERT_TRUE(
          waitUntil([&] { return ed.ui().statusCode.get() == orq::kStatusStoring; }, 3000ms));
    } else {
      ASSERT_TRUE(sim->waitFor([](const auto& r) { return !r.empty(); }, 3000ms));
    }
    // Stopped inside the wait or pause: the worker sends nothing more and leaves the panel's
    // state as it was, rather than finishing the read or the store display first.
    // What the worker sent before the stop may still be on its way; anything sent after it
    // is a fault.
    const int32_t status = ed.ui().statusCode.get();
    const int32_t state = ed.ui().linkState.get();
    orq::requestStop(ed.link);
    std::this_thread::sleep_for(20ms);
    const size_t sent = received(*sim).size();
    ed.stop();
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(ed.ui().statusCode.get(), status);
    EXPECT_EQ(ed.ui().linkState.get(), state);
    EXPECT_EQ(received(*sim).size(), sent);
  }
}

// A library error on a connected link closes both ports; the next pass opens them again without
// reading the device anew or leaving the connected state.
TEST(LinkWorker, PortFaultWhileConnectedReopensQuietly) {
  auto sim = startSim(simOptions("ORQ KTB fault"));
  ASSERT_TRUE(sim);
  Editor ed;
  ed.start();
  ASSERT_TRUE(ed.connected());
  sim->clearRecords();
  orq::Ui& ui = ed.ui();
  ed.link.portFault = 1;
  ASSERT_TRUE(waitUntil([&] { return ed.link.portFault.get() == 0; }, 3000ms));
  ui.programBlocks[0][orq::kReceived] = 0;
  ui.pendingCommand = orq::kCommandReadSettings;
  ASSERT_TRUE(waitUntil([&] { return ui.programBlocks[0][orq::kReceived].get() == 1; }, 3000ms));
  EXPECT_EQ(receivedBytes(*sim), std::vector<Bytes>{Bytes({0xF0, 0x00, 0x02, 0x00, 0xF7})});
  EXPECT_EQ(ui.linkState.get(), orq::kConnected);
  EXPECT_EQ(ui.slotName(0), L"GREEN 412");
}

// The device goes while it is being read. The read fails twice (ERROR); then the next pass
// finds the device gone: NO DEVICE, the failures forgotten. The returning device is read in
// full, without a RESET.
TEST(LinkWorker, UnplugDuringTheReadThenPlugAgain) {
  auto o = simOptions("ORQ KTB midread");
  o.replyDelayMs = 200;  // room to unplug before SETTINGS_DUMP goes out
  auto sim = startSim(o);
  ASSERT_TRUE(sim);
  Editor ed;
  ed.start();
  ASSERT_TRUE(sim->waitFor(
      [](const auto& r) { return !r.empty() && r.back().name == "READ_SETTINGS"; }, 3000ms));
  sim->unplug(0ms);
  ASSERT_TRUE(waitUntil([&] { return ed.link.failureCount.get() == 2; }, 5000ms));
  EXPECT_EQ(ed.ui().linkState.get(), orq::kError);
  ASSERT_TRUE(waitUntil([&] { return ed.ui().linkState.get() == orq::kNoDevice; }, 5000ms));
  EXPECT_EQ(ed.link.failureCount.get(), 0);

  sim->clearRecords();
  sim->plug();
  ASSERT_TRUE(ed.connected(8000ms));
  EXPECT_EQ(receivedBytes(*sim), fullRead(0));
  EXPECT_EQ(ed.link.failureCount.get(), 0);
  EXPECT_EQ(ed.ui().deviceFirmwareVersion.get(), 0x0102);
}

// JACK gives a new port the lowest free slot and lists ports by slot. Here the editor's own
// input, opened first, lands in a slot below the device's input: its output must still go to the
// device.
TEST(LinkWorker, OutputGoesToTheDeviceWhateverTheSlotOrder) {
  auto before = startSim(simOptions("early bird"));  // untagged: takes the low slots
  auto sim = startSim(simOptions("ORQ OR-1 late slots"));
  ASSERT_TRUE(before && sim);
  before.reset();
  Editor ed;
  ed.start();
  EXPECT_TRUE(ed.connected());
  EXPECT_EQ(countReceived(*sim, "IDENTIFY"), 1);
}

// Pairs of ports released while other clients change the graph, as each release does: libjack
// tells every client about every change, and after the ports were closed. A message sent just
// before the release still goes out.
TEST(MidiPorts, ReleasedSafelyWhileTheGraphChanges) {
#ifdef __SANITIZE_THREAD__
  // Every client libjack closes has its threads ended with pthread_cancel, and a cancel that lands
  // inside ThreadSanitizer's interceptors leaves its internal locks held: 180 closes in a row
  // hang the sanitizer itself now and then. The other builds run this.
  GTEST_SKIP() << "libjack's thread cancelling and ThreadSanitizer do not mix";
#endif
  for (int i = 0; i < 30; ++i) {
    auto sim = startSim(simOptions("ORQ OR-1 churn"));
    ASSERT_TRUE(sim);
    {
      orq::MidiPair pair = orq::createMidiPair("churn input", "churn output", 100);
      ASSERT_TRUE(pair);
      const auto ins = orq::taggedPorts(*pair.in, "ORQ OR-1 churn");
      const auto outs = orq::taggedPorts(*pair.out, "ORQ OR-1 churn");
      ASSERT_TRUE(ins.size() == 1 && outs.size() == 1);
      ASSERT_TRUE(orq::openNamed(*pair.in, ins[0].name, "churn in") &&
                  orq::openNamed(*pair.out, outs[0].name, "churn out"));
      std::this_thread::sleep_for(50ms);  // a JACK connection takes effect a cycle or two later
      const Bytes identify = fullRead(0)[0];
      ASSERT_TRUE(orq::safeSend(pair.out.get(), identify.data(), identify.size()));
      if (i % 2) {  // closed before the release, as after a port fault
        orq::safeClose(pair.in.get());
        orq::safeClose(pair.out.get());
        EXPECT_TRUE(orq::detachJackPort(*pair.out)) << "a closed port's client stays active";
      }
    }
    EXPECT_TRUE(sim->waitFor([](const auto& r) { return !r.empty(); }, 1000ms)) << i;
  }
}

}  // namespace
