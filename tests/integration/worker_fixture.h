// What the worker tests share: the editor side (window-less Platform, Ui, DeviceLink and the
// worker thread), simulators with ports of their own, and reading the simulator's record.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
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
