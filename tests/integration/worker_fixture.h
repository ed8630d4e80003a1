// What the worker tests share: the editor side (window-less Platform, Ui, DeviceLink and the
// worker thread), simulators with ports of their own, and reading the simulator's record.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/platform.h"
#include "device/device_link.h"
#include "tools/devsim/devsim.h"
#include "ui/ui.h"

namespace worker_test {

// No worker test downloads anything unless it starts a server of its own, so a build that names
// a real firmware server still keeps the tests off the network.
class NoFirmwareServer : public ::testing::Environment {
 public:
  void SetUp() override { ::setenv("ORQ_FIRMWARE_URL", "", 1); }
};
inline const auto* const kNoFirmwareServer =
    ::testing::AddGlobalTestEnvironment(new NoFirmwareServer);

// Safety backups (made before a restore or a firmware update) go into a data folder of this test
// program's own, never into the home folder of whoever runs the tests.
class OwnDataFolder : public ::testing::Environment {
 public:
  void SetUp() override {
    path_ =
        std::filesystem::temp_directory_path() / ("orq-test-data-" + std::to_string(::getpid()));
    std::filesystem::create_directories(path_);
    ::setenv("XDG_DATA_HOME", path_.c_str(), 1);
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }

 private:
  std::filesystem::path path_;
};
inline const auto* const kOwnDataFolder = ::testing::AddGlobalTestEnvironment(new OwnDataFolder);

using namespace std::chrono_literals;

using orq::devsim::Bytes;
using orq::devsim::Record;
using orq::devsim::Simulator;
using Clock = std::chrono::steady_clock;

inline bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (!condition()) {
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

inline std::vector<Record> received(const Simulator& sim) {
  std::vector<Record> out;
  for (const Record& r : sim.records())
    if (!r.sent) out.push_back(r);
  return out;
}

inline int countReceived(const Simulator& sim, const std::string& name) {
  int n = 0;
  for (const Record& r : received(sim)) n += r.name == name;
  return n;
}

// The messages a full read of the device puts on the wire for program p.
inline std::vector<Bytes> fullRead(uint8_t p) {
  return {{0xF0, 0x00, 0x0B, 0xF7},       {0xF0, 0x00, 0x02, p, 0xF7},
          {0xF0, 0x00, 0x04, 0x00, 0xF7}, {0xF0, 0x00, 0x04, 0x01, 0xF7},
          {0xF0, 0x00, 0x04, 0x02, 0xF7}, {0xF0, 0x00, 0x04, 0x03, 0xF7},
          {0xF0, 0x00, 0x04, 0x04, 0xF7}, {0xF0, 0x00, 0x04, 0x05, 0xF7}};
}

inline std::vector<Bytes> receivedBytes(const Simulator& sim) {
  std::vector<Bytes> out;
  for (const Record& r : received(sim)) out.push_back(r.bytes);
  return out;
}

// The editor side: Platform (window-less), Ui, DeviceLink and the worker thread.
class Editor {
 public:
  Editor() : ui_(std::make_unique<orq::Ui>(&platform_)) {
    link.host = &platform_;
    link.state = ui_.get();
  }
  ~Editor() { stop(); }

  void start() { worker_ = std::thread(orq::runWorker, &link); }
  void stop() {
    orq::requestStop(link);
    if (worker_.joinable()) worker_.join();
  }
  orq::Ui& ui() { return *ui_; }
  orq::Platform& platform() { return platform_; }
  bool connected(std::chrono::milliseconds timeout = 3000ms) {
    return waitUntil([&] { return ui_->linkState.get() == orq::kConnected; }, timeout);
  }

  orq::DeviceLink link;

 private:
  orq::Platform platform_{"Tarvik Editor", "com.tarvik.editor"};
  std::unique_ptr<orq::Ui> ui_;
  std::thread worker_;
};

// The safety backups in this program's data folder, oldest name first; and the folder emptied.
inline std::filesystem::path safetyFolder() {
  return std::filesystem::path(std::getenv("XDG_DATA_HOME")) / "orq-editor" / "backups";
}
inline std::vector<std::filesystem::path> safetyBackups() {
  std::vector<std::filesystem::path> found;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(safetyFolder(), ec))
    found.push_back(e.path());
  std::sort(found.begin(), found.end());
  return found;
}
inline void clearSafetyBackups() {
  std::error_code ec;
  std::filesystem::remove_all(safetyFolder(), ec);
}

inline Bytes fileBytes(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The backup file of what a simulated device holds: its 128 programs as WRITE_SETTINGS.
inline Bytes deviceBackup(const orq::devsim::Device& d) {
  Bytes all;
  for (int p = 0; p < orq::devsim::Device::kPrograms; ++p) {
    all.insert(all.end(), {0xF0, 0x00, 0x01, static_cast<uint8_t>(p), d.packed});
    all.insert(all.end(), d.blocks[p], d.blocks[p] + orq::devsim::Device::kBlockBytes);
    all.push_back(0xF7);
  }
  return all;
}

// Every simulator gets its own client and port names, so that a test never sees a port left
// over from the one before it.
inline orq::devsim::Options simOptions(const std::string& base) {
  static std::atomic<int> serial{0};
  orq::devsim::Options o;
  o.portBase = base;
  o.clientName = "orq-devsim-" + std::to_string(serial++);
  return o;
}

// A JACK server that has only just started, on a loaded machine, may turn a client away once;
// the simulator is set up again before the test is given up.
inline std::unique_ptr<Simulator> startSim(const orq::devsim::Options& o) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(300));
    auto sim = std::make_unique<Simulator>(o);
    if (sim->start()) return sim;
  }
  ADD_FAILURE() << "no MIDI service for the simulator: run the tests under scripts/with-jack.sh";
  return nullptr;
}

}  // namespace worker_test
