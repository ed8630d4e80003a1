// orqctl as a user runs it, against simulated devices over the MIDI service (run under
// scripts/with-jack.sh): backups restored into another device, IR loads compared byte for byte
// with the editor's, refused files, a device that stops answering, Ctrl-C, and the editor
// running beside it. The times printed are for the record; the bounds only catch hangs.
#include <gtest/gtest.h>
#include <signal.h>
#include <sndfile.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "app/platform_offscreen.h"
#include "files/file_path.h"
#include "tests/faults/fault_env.h"
#include "tests/integration/worker_fixture.h"

namespace {

using namespace worker_test;
namespace fs = std::filesystem;

// One run of orqctl: its exit status, its stdout and stderr together, and how long it took.
struct Result {
  int status = -1;
  std::string output;
  double seconds = 0;
};

class Orqctl {
 public:
  explicit Orqctl(std::vector<std::string> args) {
    static int serial = 0;
    out_ = "/tmp/orqctl-test-" + std::to_string(::getpid()) + "-" + std::to_string(serial++);
    std::remove(out_.c_str());
    args.insert(args.begin(), ORQ_CTL);
    start_ = Clock::now();
    pid_ = fault_env::spawn(args, out_);
  }
  ~Orqctl() {
    if (pid_ > 0) fault_env::endChild(pid_, 5s);
    std::remove(out_.c_str());
  }
  void interrupt() const { ::kill(pid_, SIGINT); }
  Result wait() {
    Result r;
    r.status = fault_env::waitExit(pid_, 60s);
    if (r.status >= 0) pid_ = -1;
    r.seconds = std::chrono::duration<double>(Clock::now() - start_).count();
    r.output = fault_env::slurp(out_);
    return r;
  }

 private:
  std::string out_;
  pid_t pid_ = -1;
  Clock::time_point start_;
};

Result orqctl(const std::vector<std::string>& args) {
  return Orqctl(args).wait();
}

// A folder of the test's own, removed with it.
struct TempDir {
  fs::path path = fs::temp_directory_path() / ("orqctl-test-" + std::to_string(::getpid()));
  TempDir() { fs::create_directories(path); }
  ~TempDir() { fs::remove_all(path); }
  std::string operator/(const std::string& name) const { return (path / name).string(); }
};

std::vector<Bytes> receivedNamed(const Simulator& sim, const std::string& name) {
  std::vector<Bytes> out;
  for (const Record& r : received(sim))
    if (r.name == name) out.push_back(r.bytes);
  return out;
}

bool sameSettings(const orq::devsim::Device& a, const orq::devsim::Device& b) {
  if (a.packed != b.packed) return false;
  for (int p = 0; p < orq::devsim::Device::kPrograms; ++p)
    if (!std::equal(a.blocks[p], a.blocks[p] + 12, b.blocks[p])) return false;
  return true;
}

std::unique_ptr<Simulator> seeded(const std::string& base, uint32_t seed) {
  auto o = simOptions(base);
  o.settingsSeed = seed;
  return startSim(o);
}

// The backup of one device, restored into another that held other settings, leaves both alike.
// The editor runs on the first device meanwhile: both keep working.
TEST(Orqctl, BackupRestoredIntoAnotherDeviceLeavesItsSettingsEqual) {
  TempDir dir;
  auto from = seeded("ORQ KTB from", 1);
  auto into = seeded("ORQ KTC into", 2);
  ASSERT_TRUE(from && into);
  ASSERT_FALSE(sameSettings(from->device(), into->device()));
  Editor ed;
  ed.start();  // it finds the first tagged device: "from" was started first
  ASSERT_TRUE(ed.connected());

  // A change made with orqctl reaches the editor's state through the read-back it hears.
  orq::Ui& ui = ed.ui();
  const Result set = orqctl({"set", "77", "gate2=80", "presence1=1", "--port", "ORQ KTB from"});
  ASSERT_EQ(set.status, 0) << set.output;
  EXPECT_TRUE(waitUntil(
      [&] {
        return ui.programBlocks[77][orq::kGate2].get() == 3 &&
               ui.programBlocks[77][orq::kPresence1].get() == 1;
      },
      3000ms));

  const std::string file = dir / "all.syx";
  from->clearRecords();
  const Result backup = orqctl({"backup", file, "--port", "ORQ KTB from"});
  ASSERT_EQ(backup.status, 0) << backup.output;
  EXPECT_EQ(fs::file_size(file), 128u * 18);
  EXPECT_EQ(countReceived(*from, "READ_SETTINGS"), 128);
  EXPECT_EQ(countReceived(*from, "WRITE_SETTINGS"), 0);

  // The editor took no harm: it still answers the panel.
  ui.program = 78;
  ui.programBlocks[78][orq::kReceived] = 0;
  ui.pendingCommand = orq::kCommandReadSettings;
  ASSERT_TRUE(waitUntil([&] { return ui.programBlocks[78][orq::kReceived].get() == 1; }, 3000ms));
  EXPECT_EQ(ui.linkState.get(), orq::kConnected);

  // What "into" held goes into a safety backup first, and orqctl says where.
  clearSafetyBackups();
  const Bytes held = deviceBackup(into->device());
  const Result restore = orqctl({"restore", file, "--store", "--port", "ORQ KTC into"});
  ASSERT_EQ(restore.status, 0) << restore.output;
  EXPECT_TRUE(sameSettings(from->device(), into->device()));
  // STORE is the last message: the simulator may take it a moment after orqctl has ended.
  EXPECT_TRUE(waitUntil([&] { return into->device().stores == 1; }, 2000ms));
  const std::vector<fs::path> kept = safetyBackups();
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(fileBytes(kept[0]), held);
  EXPECT_NE(restore.output.find("the programs before it are in " + kept[0].string() + "\n"),
            std::string::npos)
      << restore.output;
  // --no-safety-backup: the file's programs and their read-back, nothing before them.
  into->clearRecords();
  const Result bare =
      orqctl({"restore", file, "--no-safety-backup", "--port", "ORQ KTC into", "--json"});
  ASSERT_EQ(bare.status, 0) << bare.output;
  EXPECT_EQ(received(*into)[1].name, "WRITE_SETTINGS");  // after the IDENTIFY
  EXPECT_NE(bare.output.find("\"safety_backup\": null"), std::string::npos) << bare.output;
  EXPECT_EQ(safetyBackups().size(), 1u);
  std::printf(
      "[ timing ] backup of 128 programs %.2f s, restore with safety backup and read-back "
      "%.2f s, without the safety backup %.2f s (whole runs of orqctl)\n",
      backup.seconds, restore.seconds, bare.seconds);
}

// A backup of the device on `port` made with orqctl into `path`, and the file's bytes.
void backupBytes(const std::string& path, const std::string& port, std::vector<char>& bytes) {
  const Result r = orqctl({"backup", path, "--port", port});
  ASSERT_EQ(r.status, 0) << r.output;
  bytes.assign(128 * 18, 0);
  std::ifstream(path, std::ios::binary).read(bytes.data(), bytes.size());
}

// Files that are not a whole backup are refused before the device is even looked for.
TEST(Orqctl, RefusedFilesSendNothing) {
  TempDir dir;
  auto sim = seeded("ORQ OR-1 refuse", 3);
  ASSERT_TRUE(sim);
  std::vector<char> bytes;
  ASSERT_NO_FATAL_FAILURE(backupBytes(dir / "good.syx", "ORQ OR-1 refuse", bytes));
  const auto write = [&](const std::string& name, const std::vector<char>& content) {
    std::ofstream(dir / name, std::ios::binary).write(content.data(), content.size());
    return dir / name;
  };
  std::vector<char> oversized = bytes;
  oversized.insert(oversized.end(), bytes.begin(), bytes.begin() + 18);
  std::vector<char> foreign = bytes;
  foreign[18 * 40 + 2] = 0x02;  // a settings dump where a WRITE_SETTINGS belongs
  const std::string files[] = {
      write("truncated.syx", std::vector<char>(bytes.begin(), bytes.end() - 7)),
      write("oversized.syx", oversized),
      write("foreign.syx", foreign),
      write("text.syx", {'h', 'e', 'l', 'l', 'o', '\n'}),
      dir / "missing.syx",
  };
  sim->clearRecords();
  for (const std::string& f : files) {
    SCOPED_TRACE(f);
    const Result r = orqctl({"restore", f, "--port", "ORQ OR-1 refuse"});
    EXPECT_EQ(r.status, 3) << r.output;
    EXPECT_NE(r.output.find("nothing was sent"), std::string::npos) << r.output;
  }
  // WAV files, each refused with what is wrong with it: within the quiet lead-in threshold
  // throughout (it would leave a slot near silent), and a download cut short.
  const auto wavFile = [&](const std::string& name, int format, float level) {
    SF_INFO info{48000, 48000, 1, format, 0, 0};
    SNDFILE* f = sf_open((dir / name).c_str(), SFM_WRITE, &info);
    EXPECT_NE(f, nullptr);
    const std::vector<float> samples(1000, level);
    sf_writef_float(f, samples.data(), static_cast<sf_count_t>(samples.size()));
    sf_close(f);
    return dir / name;
  };
  const std::string cut = wavFile("cut.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0.5f);
  fs::resize_file(cut, 44 + 1000);  // half of its 2000 bytes of audio
  const std::pair<std::string, const char*> wavs[] = {
      {wavFile("silent.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 0.008f), "silent"},
      {cut, "truncated: its data chunk states 2000 bytes of audio, and the file holds 1000"},
  };
  for (const auto& [wav, says] : wavs) {
    const Result r = orqctl({"ir", "load", "2", wav, "--port", "ORQ OR-1 refuse"});
    EXPECT_EQ(r.status, 3) << r.output;
    EXPECT_NE(r.output.find(says), std::string::npos) << r.output;
  }
  EXPECT_TRUE(received(*sim).empty());
}

// A device may hold values outside their documented ranges (an IR selection of 3, say): a file
// holding them restores with a warning, and the device's own backup of them restores too.
TEST(Orqctl, ValuesOutsideTheirRangesStillRestore) {
  TempDir dir;
  auto sim = seeded("ORQ KTB odd", 4);
  ASSERT_TRUE(sim);
  std::vector<char> bytes;
  ASSERT_NO_FATAL_FAILURE(backupBytes(dir / "good.syx", "ORQ KTB odd", bytes));
  bytes[18 * 40 + 9] = 3;      // program 40: IR selection of channel 1
  bytes[18 * 41 + 12] = 0x41;  // program 41: presence 1 and 4, which the device reads as 2, 2
  const std::string odd = dir / "odd.syx";
  std::ofstream(odd, std::ios::binary).write(bytes.data(), bytes.size());

  const Result restored = orqctl({"restore", odd, "--port", "ORQ KTB odd"});
  ASSERT_EQ(restored.status, 0) << restored.output;
  EXPECT_NE(restored.output.find("program 40"), std::string::npos) << restored.output;
  EXPECT_EQ(sim->device().blocks[40][4], 3);
  const std::string again = dir / "again.syx";
  ASSERT_EQ(orqctl({"backup", again, "--port", "ORQ KTB odd"}).status, 0);
  const Result twice = orqctl({"restore", again, "--port", "ORQ KTB odd"});
  EXPECT_EQ(twice.status, 0) << twice.output;
}

// A WAV file of `frames` frames at 44.1 kHz: 30 quiet samples, then a decaying tone.
void writeWav(const std::string& path, int frames) {
  SF_INFO info{};
  info.samplerate = 44100;
  info.channels = 1;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_24;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
  std::vector<float> x(static_cast<size_t>(frames));
  for (int i = 30; i < frames; ++i) x[i] = float(std::exp(-i / 300.0) * std::sin(i * 0.21) * 0.8);
  sf_writef_float(f, x.data(), frames);
  sf_close(f);
}

// The transfer messages a device received: every IR_CHUNK and the END_TRANSFER, in order.
std::vector<Bytes> transfer(const Simulator& sim) {
  std::vector<Bytes> out;
  for (const Record& r : received(sim))
    if (r.name == "IR_CHUNK" || r.name == "END_TRANSFER") out.push_back(r.bytes);
  return out;
}

TEST(Orqctl, IrLoadsArriveAsTheEditorSendsThem) {
  TempDir dir;
  const std::string wav = dir / "Bright Room.wav";
  writeWav(wav, 3000);
  auto viaEditor = startSim(simOptions("ORQ KTB editor"));
  ASSERT_TRUE(viaEditor);
  orq::offscreen::resetDialogs();
  Editor ed;
  ed.start();
  ASSERT_TRUE(ed.connected());
  auto viaCtl = startSim(simOptions("ORQ KTB ctl"));
  ASSERT_TRUE(viaCtl);

  const int entry = 13;  // 9984 samples, beyond the import's limit
  struct Load {
    const char* what;
    std::function<void()> byEditor;
    std::vector<std::string> args;
  } loads[] = {
      {"WAV file",
       [&] {
         orq::offscreen::queueDialogAnswer(orq::widePath(wav));
         ed.ui().pendingCommand = orq::kCommandImportFirst + 3;  // the folder icon of slot 4
       },
       {"ir", "load", "4", wav}},
      {"factory entry",
       [&] {
         ed.ui().commandSlot = 4;
         ed.ui().commandEntry = entry;
         ed.ui().pendingCommand.publish(orq::kCommandUploadFactoryIr);
       },
       {"ir", "load", "4", "--factory", std::to_string(entry + 1)}},
  };
  for (const Load& l : loads) {
    SCOPED_TRACE(l.what);
    viaEditor->clearRecords();
    viaCtl->clearRecords();
    l.byEditor();
    ASSERT_TRUE(viaEditor->waitFor(
        [](const auto& r) {
          for (const Record& x : r)
            if (!x.sent && x.name == "READ_SLOT_NAME" && x.bytes[3] == 5) return true;
          return false;
        },
        10000ms));
    std::vector<std::string> args = l.args;
    args.insert(args.end(), {"--port", "ORQ KTB ctl"});
    const Result r = orqctl(args);
    ASSERT_EQ(r.status, 0) << r.output;

    const std::vector<Bytes> sent = transfer(*viaCtl);
    EXPECT_GT(sent.size(), 10u);
    EXPECT_TRUE(sent == transfer(*viaEditor)) << sent.size() << " messages from orqctl";
    EXPECT_EQ(viaCtl->device().slotImages[3], viaEditor->device().slotImages[3]);
    const std::string name = orq::nativePath(ed.ui().slotName(3));
    EXPECT_NE(r.output.find("slot 4 now holds " + name), std::string::npos) << r.output;
  }
}

// A device that stops answering: status 1 after one reply budget, not one per program, and no
// file left behind. A silent device: status 1 once IDENTIFY has gone unanswered twice (the first
// may be lost while a JACK connection takes effect).
TEST(Orqctl, ADeviceThatStopsAnsweringGivesStatusOne) {
  TempDir dir;
  auto o = simOptions("ORQ KTC mute");
  o.ignoreCode = 0x02;  // READ_SETTINGS
  auto mute = startSim(o);
  auto silentOptions = simOptions("ORQ KTC silent");
  silentOptions.silent = true;
  auto silent = startSim(silentOptions);
  ASSERT_TRUE(mute && silent);

  const std::string file = dir / "never.syx";
  const Result backup = orqctl({"backup", file, "--port", "ORQ KTC mute"});
  EXPECT_EQ(backup.status, 1) << backup.output;
  EXPECT_EQ(countReceived(*mute, "READ_SETTINGS"), 1);
  EXPECT_FALSE(fs::exists(file));
  EXPECT_TRUE(fs::is_empty(dir.path));

  const Result info = orqctl({"info", "--port", "ORQ KTC silent"});
  EXPECT_EQ(info.status, 1) << info.output;
  EXPECT_EQ(countReceived(*silent, "IDENTIFY"), 2);
  EXPECT_EQ(received(*silent).size(), 2u);

  const Result none = orqctl({"info", "--port", "no such device"});
  EXPECT_EQ(none.status, 1) << none.output;
  std::printf("[ timing ] status 1: backup %.2f s, info %.2f s, no device %.2f s\n", backup.seconds,
              info.seconds, none.seconds);
}

// Ctrl-C during a restore ends it between two messages: every message the device got is whole,
// and nothing is stored.
TEST(Orqctl, CtrlCStopsARestoreBetweenMessages) {
  TempDir dir;
  auto from = seeded("ORQ OR-1 source", 4);
  auto into = seeded("ORQ OR-1 target", 5);
  ASSERT_TRUE(from && into);
  const std::string file = dir / "all.syx";
  ASSERT_EQ(orqctl({"backup", file, "--port", "ORQ OR-1 source"}).status, 0);

  Orqctl run({"restore", file, "--store", "--port", "ORQ OR-1 target"});
  ASSERT_TRUE(into->waitFor(
      [](const auto& r) {
        int n = 0;
        for (const Record& x : r) n += x.name == "WRITE_SETTINGS";
        return n >= 20;
      },
      10000ms));
  run.interrupt();
  const Result r = run.wait();
  EXPECT_EQ(r.status, 130) << r.output;
  const size_t writes = receivedNamed(*into, "WRITE_SETTINGS").size();
  EXPECT_LT(writes, 128u);
  for (const Record& x : received(*into)) EXPECT_NE(x.name, "MALFORMED");
  EXPECT_EQ(into->device().stores, 0);
  std::printf("[ timing ] interrupted after %zu of 128 programs, %.2f s\n", writes, r.seconds);
}

// A newer image from a file goes to the device whole and the device comes back running it; an
// image that is not newer is refused after the version is asked, with nothing else sent.
TEST(Orqctl, FirmwareFromAFile) {
  TempDir dir;
  auto o = simOptions("ORQ KTB flash");
  o.firmware = 0x0104;
  o.restartPortsMs = 300;  // the device leaves the bus while it restarts
  auto sim = startSim(o);
  ASSERT_TRUE(sim);
  const auto image = [&](uint16_t stamp) {
    std::string bytes(131072, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = char((i * 29) ^ (i >> 9));
    bytes[131068] = char(stamp & 0xFF);
    bytes[131069] = char(stamp >> 8);
    const std::string path = dir / ("fw-" + std::to_string(stamp) + ".bin");
    std::ofstream(path, std::ios::binary) << bytes;
    return std::make_pair(path, bytes);
  };

  const auto [same, sameBytes] = image(0x0104);
  const Result refused = orqctl({"firmware", same, "--port", "ORQ KTB flash"});
  EXPECT_EQ(refused.status, 3) << refused.output;
  EXPECT_EQ(receivedBytes(*sim), std::vector<Bytes>{Bytes({0xF0, 0x00, 0x0B, 0xF7})});

  const auto [newer, newerBytes] = image(0x0105);
  const Result flashed = orqctl({"firmware", newer, "--port", "ORQ KTB flash"});
  ASSERT_EQ(flashed.status, 0) << flashed.output;
  const orq::devsim::Device device = sim->device();
  EXPECT_EQ(device.firmware, 0x0105);
  EXPECT_TRUE(std::string(device.firmwareBuffer.begin(), device.firmwareBuffer.end()) ==
              newerBytes);
  EXPECT_EQ(countReceived(*sim, "FIRMWARE_CHUNK"), 512);
  // The programs were read into a safety backup before the first chunk.
  int readsFirst = 0;
  for (const Record& r : received(*sim)) {
    if (r.name == "FIRMWARE_CHUNK") break;
    readsFirst += r.name == "READ_SETTINGS";
  }
  EXPECT_EQ(readsFirst, 128);
  EXPECT_NE(flashed.output.find(" before firmware update.syx\n"), std::string::npos)
      << flashed.output;
  std::printf("[ timing ] firmware from a file, with the safety backup and the restart: %.2f s\n",
              flashed.seconds);
}

}  // namespace
