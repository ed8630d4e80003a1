// Program files, backups and undo as the worker carries them out against the simulated device
// (a private JACK server: run under scripts/with-jack.sh): the panel's state while a dialog is
// open, a program the editor never read, a send that failed, undo beside a device that moves,
// and what a restore compares.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "device/device_ops.h"
#include "device/librarian.h"
#include "device/settings_file.h"
#include "files/file_path.h"
#include "tests/integration/worker_fixture.h"
#include "ui/controls.h"

namespace {

using namespace worker_test;

// The window as the worker sees it: file dialogs answered in turn, questions answered as told,
// and the panel's state noted while each is open.
class ScriptedHost : public orq::LinkHost {
 public:
  explicit ScriptedHost(const orq::EditorState& state) : state_(state) {}

  void requestRepaint() override {}
  std::wstring openFileDialog(int32_t) override {
    std::function<void()> during;
    std::wstring answer;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      statesSeen_.push_back(state_.linkState.get());
      if (!answers_.empty()) {
        answer = answers_.front();
        answers_.erase(answers_.begin());
      }
      during = std::exchange(duringDialog_, nullptr);
    }
    if (during) during();
    return answer;
  }
  bool confirm(const std::string& message, const std::string& button) override {
    std::lock_guard<std::mutex> lock(mutex_);
    statesSeen_.push_back(state_.linkState.get());
    messages_.push_back(message);
    return !button.empty() && confirmAnswer_;
  }

  void answer(const std::filesystem::path& path, std::function<void()> during = nullptr) {
    std::lock_guard<std::mutex> lock(mutex_);
    answers_.push_back(orq::pathText(path));
    duringDialog_ = std::move(during);
  }
  void confirmWith(bool yes) {
    std::lock_guard<std::mutex> lock(mutex_);
    confirmAnswer_ = yes;
  }
  std::vector<int32_t> statesSeen() {
    std::lock_guard<std::mutex> lock(mutex_);
    return statesSeen_;
  }
  std::vector<std::string> messages() {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
  }

 private:
  const orq::EditorState& state_;
  std::mutex mutex_;
  std::vector<std::wstring> answers_;
  std::function<void()> duringDialog_;
  bool confirmAnswer_ = false;
  std::vector<int32_t> statesSeen_;
  std::vector<std::string> messages_;
};

class Folder {
 public:
  Folder()
      : path_(std::filesystem::temp_directory_path() /
              ("orq-librarian-" + std::to_string(::getpid()) + "-" + std::to_string(next_++))) {
    std::filesystem::create_directories(path_);
  }
  ~Folder() { std::filesystem::remove_all(path_); }
  std::filesystem::path file(const std::string& name, const Bytes& bytes = {}) const {
    const std::filesystem::path p = path_ / name;
    if (!bytes.empty()) {
      std::ofstream out(p, std::ios::binary);
      out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    return p;
  }

 private:
  static inline int next_ = 0;
  std::filesystem::path path_;
};

Bytes readFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The WRITE_SETTINGS that carries what the simulated device holds for program p.
Bytes deviceProgram(const Simulator& sim, int p) {
  const orq::devsim::Device d = sim.device();
  Bytes m(orq::kWriteSettingsLength, 0);
  m[0] = 0xF0;
  m[2] = 0x01;
  m[3] = static_cast<uint8_t>(p);
  m[4] = d.packed;
  for (int i = 0; i < orq::devsim::Device::kBlockBytes; ++i) m[size_t(5 + i)] = d.blocks[p][i];
  m.back() = 0xF7;
  return m;
}

std::vector<Bytes> writesReceived(const Simulator& sim) {
  std::vector<Bytes> out;
  for (const Record& r : received(sim))
    if (r.name == "WRITE_SETTINGS") out.push_back(r.bytes);
  return out;
}

orq::ProgramSettings someProgram(int32_t program) {
  orq::ProgramSettings s;
  s.program = program;
  s.words = {1, 1, 0, 1, 2, 0, 1, 3, 1, 2, 3, 1, 1, 3, 2};
  return s;
}

// A whole backup: someProgram for each of the 128 programs.
std::vector<orq::ProgramSettings> someBackup() {
  std::vector<orq::ProgramSettings> all;
  for (int p = 0; p < orq::kBackupPrograms; ++p) all.push_back(someProgram(p));
  return all;
}

struct Rig {
  explicit Rig(const std::string& base, orq::devsim::Options o = {}) {
    o.portBase = base;
    o.clientName = simOptions(base).clientName;
    sim = startSim(o);
    ed.link.host = &host;
  }
  ~Rig() { ed.stop(); }  // the worker may still be telling the host something
  bool start() {
    if (!sim) return false;
    ed.start();
    return ed.connected(10000ms);
  }
  // Runs a librarian command and waits until the panel is connected and idle after it (it is
  // busy from before its dialog to its end).
  bool run(int32_t code) {
    const size_t dialogs = host.statesSeen().size();
    ed.ui().pendingCommand = code;
    return waitUntil([&] { return host.statesSeen().size() > dialogs; }, 3000ms) &&
           ed.connected(10000ms);
  }

  std::unique_ptr<Simulator> sim;
  Editor ed;
  ScriptedHost host{ed.ui()};
  Folder folder;
};

// Regression: the panel stayed connected while a command's dialog was open, so edits queued in
// the one command slot, where a later command replaced them, or a backup read over them.
TEST(Librarian, ThePanelIsBusyWhileACommandWaitsForTheUser) {
  Rig rig("ORQ OR-1 busy");
  ASSERT_TRUE(rig.start());
  // A backup whose programs hold odd pairs, for the restore's question.
  std::vector<orq::ProgramSettings> programs = someBackup();
  programs[3].words[orq::kPresence1] = 0;
  const auto backup = rig.folder.file("odd.syx", orq::encodeBackup(programs));
  rig.host.confirmWith(false);
  for (int32_t code : {orq::kCommandOpenProgram, orq::kCommandSaveProgram, orq::kCommandBackup,
                       orq::kCommandRestore}) {
    SCOPED_TRACE(code);
    if (code == orq::kCommandRestore) rig.host.answer(backup);
    ASSERT_TRUE(rig.run(code));
  }
  // Four dialogs and the restore's question, each with the panel busy.
  EXPECT_EQ(rig.host.statesSeen(), std::vector<int32_t>(5, orq::kBusy));
  const std::vector<std::string> asked = rig.host.messages();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_NE(asked[0].find("program 3: presence1 is 0 (1..3)"), std::string::npos) << asked[0];
  EXPECT_TRUE(writesReceived(*rig.sim).empty());
}

// Regression: Open program on a program whose dump never came recorded zeros as the step's
// "before", and undo then wrote every word 0 over the device's program; Save program wrote a
// file that Open program refuses. Both read the program first, or refuse.
TEST(Librarian, AProgramNotYetReadIsReadBeforeItIsOpenedOrSaved) {
  orq::devsim::Options o;
  o.settingsSeed = 7;
  Rig rig("ORQ KTB unread", o);
  ASSERT_TRUE(rig.start());
  orq::Ui& ui = rig.ed.ui();
  const Bytes device9 = deviceProgram(*rig.sim, 9);
  rig.sim->clearRecords();

  ui.program = 9;  // shown, never read
  const Bytes file = orq::encodeProgramFile(someProgram(77));
  rig.host.answer(rig.folder.file("in.syx", file));
  ASSERT_TRUE(rig.run(orq::kCommandOpenProgram));
  // The worker is done once it has sent; the simulator may take the message a moment later.
  ASSERT_TRUE(rig.sim->waitFor([](const auto& r) { return r.size() >= 3; }, 3000ms));
  Bytes opened = file;
  opened[3] = 9;
  opened[4] = device9[4];  // the device-wide values stay
  EXPECT_EQ(receivedBytes(*rig.sim), (std::vector<Bytes>{{0xF0, 0x00, 0x02, 0x09, 0xF7}, opened}));
  ui.onAction(orq::Action::Undo);
  ASSERT_TRUE(rig.sim->waitFor([](const auto& r) { return r.size() >= 4; }, 3000ms));
  EXPECT_EQ(writesReceived(*rig.sim).back(), device9);

  ui.program = 10;
  const auto saved = rig.folder.file("out.syx");
  rig.host.answer(saved);
  ASSERT_TRUE(rig.run(orq::kCommandSaveProgram));
  EXPECT_EQ(readFile(saved), deviceProgram(*rig.sim, 10));
}

TEST(Librarian, AProgramThatCannotBeReadIsRefused) {
  orq::devsim::Options o;
  o.dumpOtherProgram = true;  // every READ_SETTINGS answered with the next program's dump
  Rig rig("ORQ OR-2 other", o);
  ASSERT_TRUE(rig.start());
  rig.ed.ui().program = 20;
  rig.host.answer(rig.folder.file("in.syx", orq::encodeProgramFile(someProgram(1))));
  ASSERT_TRUE(rig.run(orq::kCommandOpenProgram));
  const auto saved = rig.folder.file("out.syx");
  rig.host.answer(saved);
  ASSERT_TRUE(rig.run(orq::kCommandSaveProgram));
  EXPECT_TRUE(writesReceived(*rig.sim).empty());
  EXPECT_FALSE(std::filesystem::exists(saved));
  const std::vector<std::string> told = rig.host.messages();
  ASSERT_EQ(told.size(), 2u);
  EXPECT_EQ(told[0], "Program 20 could not be read from the device. Nothing was sent.");
  EXPECT_EQ(told[1], "Program 20 could not be read from the device; out.syx was not written.");
}

// Regression: with the port gone while the dialog was open, nothing was sent, yet the panel
// showed the file's values, kept the step, and said nothing.
TEST(Librarian, OpenProgramReportsASendThatFailed) {
  Rig rig("ORQ KTC gone");
  ASSERT_TRUE(rig.start());
  orq::Ui& ui = rig.ed.ui();
  const orq::SettingsValues held = ui.settingsValues(0);
  rig.sim->clearRecords();
  // The dialog runs on the worker's thread, which owns the ports.
  rig.host.answer(rig.folder.file("in.syx", orq::encodeProgramFile(someProgram(0))),
                  [&] { orq::closePorts(rig.ed.link); });
  ASSERT_TRUE(rig.run(orq::kCommandOpenProgram));
  EXPECT_EQ(ui.settingsValues(0), held);
  EXPECT_TRUE(ui.menuItems()[0].label == "Undo") << ui.menuItems()[0].label;
  EXPECT_TRUE(writesReceived(*rig.sim).empty());
  const std::vector<std::string> told = rig.host.messages();
  ASSERT_EQ(told.size(), 1u);
  EXPECT_EQ(told[0],
            "in.syx was not sent: the device's port is closed. The panel shows what "
            "the device holds.");
}

// Regression: undo restored the values on the panel and asked for "the current program" to be
// sent; a program change before the worker took the command sent another program, and the dump
// that came meanwhile was written back over the undone values.
TEST(Librarian, UndoIsSentForTheProgramItWasMadeOn) {
  orq::devsim::Options o;
  o.replyDelayMs = 400;  // the worker's reads take this long, with the panel still connected
  Rig rig("ORQ OR-3 undo", o);
  ASSERT_TRUE(rig.start());
  orq::Ui& ui = rig.ed.ui();
  const Bytes original = deviceProgram(*rig.sim, 0);
  {
    // A PRESENCE press, as the panel makes it.
    const auto lock = ui.lockHistory();
    const orq::SettingsValues before = ui.settingsValues(0);
    ui.programBlocks[0][orq::kPresence1] = 3;
    ui.recordStep(0, orq::control::kPresence1, before);
  }
  ui.pendingCommand = orq::kCommandSendSettings;
  ASSERT_TRUE(waitUntil([&] { return countReceived(*rig.sim, "WRITE_SETTINGS") == 1; }, 3000ms));
  const int reads = countReceived(*rig.sim, "READ_SETTINGS");
  ui.pendingCommand = orq::kCommandReadSettings;
  ASSERT_TRUE(
      waitUntil([&] { return countReceived(*rig.sim, "READ_SETTINGS") == reads + 1; }, 3000ms));
  ASSERT_TRUE(ui.undoOrRedo(true));  // while the worker waits for the dump
  ui.program = 5;                    // the preamp moved on
  ASSERT_TRUE(waitUntil([&] { return countReceived(*rig.sim, "WRITE_SETTINGS") == 2; }, 5000ms));
  EXPECT_EQ(writesReceived(*rig.sim).back(), original);
  EXPECT_EQ(ui.programBlocks[0][orq::kPresence1].get(), 2);
}

// orq-editor FILE.syx: the file waits for the device, then opens as the menu's entries open
// their files.
TEST(Librarian, AFileGivenAtTheStartOpensOnceTheDeviceIsThere) {
  std::vector<orq::ProgramSettings> all = someBackup();
  struct Case {
    const char* name;
    Bytes bytes;
    Bytes written;     // the one WRITE_SETTINGS it makes, or none
    std::string said;  // the start of what the editor says, or nothing
  };
  const Bytes program = orq::encodeProgramFile(someProgram(33));
  Bytes intoProgram0 = program;
  intoProgram0[3] = 0;
  intoProgram0[4] = 0x01;  // the device's MIDI channel stays
  const Case cases[] = {
      {"one.syx", program, intoProgram0, ""},
      {"all.syx", orq::encodeBackup(all), {}, "Restore all 128 programs from all.syx? "},
      {"odd.syx", {0xF0, 0x41, 0x10, 0xF7}, {}, "odd.syx is not a program file: it is 4 bytes"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Folder folder;
    Editor ed;
    ScriptedHost host(ed.ui());
    ed.link.host = &host;
    ed.ui().setGivenFile(orq::pathText(folder.file(c.name, c.bytes)));
    ed.start();
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(ed.ui().linkState.get(), orq::kNoDevice);
    EXPECT_EQ(ed.ui().givenFileName(), orq::widePath(c.name));
    auto sim = startSim(simOptions("ORQ OR-5 given"));
    ASSERT_TRUE(sim);
    // Done when it has sent its program, or said what it says.
    ASSERT_TRUE(waitUntil([&] { return writesReceived(*sim).size() + host.messages().size() == 1; },
                          5000ms));
    ASSERT_TRUE(ed.connected(5000ms));
    EXPECT_TRUE(ed.ui().givenFileName().empty());
    EXPECT_EQ(writesReceived(*sim),
              c.written.empty() ? std::vector<Bytes>{} : std::vector<Bytes>{c.written});
    const std::vector<std::string> said = host.messages();
    if (c.said.empty()) {
      EXPECT_TRUE(said.empty());
      EXPECT_EQ(ed.ui().menuItems()[0].label, "Undo OPEN PROGRAM");
    } else {
      ASSERT_EQ(said.size(), 1u);
      EXPECT_EQ(said[0].substr(0, c.said.size()), c.said);
    }
    ed.stop();
  }
}

// Before a restore replaces every program, the device's own go into a safety backup; the
// folder keeps the newest 20 of those and nothing else of it is touched.
TEST(Librarian, ARestoreKeepsTheDevicesProgramsFirst) {
  clearSafetyBackups();
  std::filesystem::create_directories(safetyFolder());
  const auto old = std::filesystem::file_time_type::clock::now() - std::chrono::hours(48);
  for (int i = 0; i < 20; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "2020-01-01 00.%02d before restore.syx", i);
    std::ofstream(safetyFolder() / name) << "old";
    std::filesystem::last_write_time(safetyFolder() / name, old + std::chrono::minutes(i));
  }
  std::ofstream(safetyFolder() / "mine.syx") << "the owner's";
  orq::devsim::Options o;
  o.settingsSeed = 11;
  Rig rig("ORQ KTB safety", o);
  ASSERT_TRUE(rig.start());
  const Bytes before = deviceBackup(rig.sim->device());
  std::vector<orq::ProgramSettings> programs = someBackup();
  rig.sim->clearRecords();
  rig.host.answer(rig.folder.file("all.syx", orq::encodeBackup(programs)));
  rig.host.confirmWith(true);
  ASSERT_TRUE(rig.run(orq::kCommandRestore));

  std::vector<std::string> wire;
  for (const Record& r : received(*rig.sim)) wire.push_back(r.name);
  std::vector<std::string> want(128, "READ_SETTINGS");
  want.insert(want.end(), 128, "WRITE_SETTINGS");
  want.insert(want.end(), 128, "READ_SETTINGS");
  EXPECT_EQ(wire, want);
  const std::vector<std::filesystem::path> kept = safetyBackups();
  ASSERT_EQ(kept.size(), 21u);  // 20 safety backups and the owner's file
  EXPECT_EQ(kept[0].filename(), "2020-01-01 00.01 before restore.syx");  // 00.00 went
  EXPECT_EQ(kept[20].filename(), "mine.syx");
  const std::string made = kept[19].filename().string();
  EXPECT_NE(made.find(" before restore.syx"), std::string::npos) << made;
  EXPECT_EQ(fileBytes(kept[19]), before);
  const std::vector<std::string> told = rig.host.messages();
  ASSERT_EQ(told.size(), 2u);
  EXPECT_EQ(told[1], "All 128 programs were restored from all.syx. The programs before it are in " +
                         made + " (the panel's menu opens the backups folder).");
}

// Regression guard: nothing is sent when the safety backup cannot be written.
TEST(Librarian, NoRestoreWithoutTheSafetyBackup) {
  clearSafetyBackups();
  std::filesystem::create_directories(safetyFolder().parent_path());
  std::ofstream(safetyFolder()) << "a file where the folder would be";
  Rig rig("ORQ OR-6 nosafety");
  ASSERT_TRUE(rig.start());
  std::vector<orq::ProgramSettings> programs = someBackup();
  rig.sim->clearRecords();
  rig.host.answer(rig.folder.file("all.syx", orq::encodeBackup(programs)));
  rig.host.confirmWith(true);
  ASSERT_TRUE(rig.run(orq::kCommandRestore));
  EXPECT_TRUE(received(*rig.sim).empty());
  const std::vector<std::string> told = rig.host.messages();
  ASSERT_EQ(told.size(), 2u);
  EXPECT_EQ(told[1],
            "The restore did not start: the programs on the device could not be kept in "
            "a safety backup first (" +
                safetyFolder().string() + " cannot be made). Nothing was sent.");
  clearSafetyBackups();
}

// A restore checks each program against the words the device reports, not against the editor's
// reading of them: an odd pair the device did not take reads back as 2 and 2 either way.
TEST(Librarian, RestoreComparesWhatTheDeviceHolds) {
  struct Case {
    const char* what;
    int ignoreCode;
    std::string error;
  };
  const Case cases[] = {
      {"a device that takes them", -1, ""},
      {"a device that takes none", 0x01, "program 0 reads back other settings than were sent"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    orq::devsim::Options o = simOptions("ORQ OR-4 restore");
    o.ignoreCode = c.ignoreCode;
    auto sim = startSim(o);
    ASSERT_TRUE(sim);
    // What the device holds, with presence 0 and 0 in every program: the pairs a fresh device
    // holds (2 and 2) are what the editor shows for them.
    std::vector<orq::ProgramSettings> programs(orq::kBackupPrograms);
    for (int p = 0; p < orq::kBackupPrograms; ++p) {
      const Bytes held = deviceProgram(*sim, p);
      ASSERT_TRUE(orq::decodeWriteSettings(held.data(), held.size(), programs[size_t(p)]));
      ASSERT_EQ(programs[size_t(p)].words[orq::kPresence1], 2);
      programs[size_t(p)].words[orq::kPresence1] = 0;
      programs[size_t(p)].words[orq::kPresence2] = 0;
    }
    Editor ed;  // no worker: this thread owns the link's ports
    ASSERT_TRUE(orq::openLinkPorts(ed.link, "in", "out"));
    ASSERT_TRUE(orq::findAndOpenDevice(ed.link));
    const orq::LibrarianRun run = orq::restoreAll(ed.link, programs, {});
    EXPECT_EQ(run.error, c.error);
    EXPECT_FALSE(run.stopped);
    if (c.error.empty()) {
      EXPECT_EQ(deviceProgram(*sim, 127), orq::encodeProgramFile(programs[127]));
    }
    orq::dropLinkPorts(ed.link);
  }
}

}  // namespace
