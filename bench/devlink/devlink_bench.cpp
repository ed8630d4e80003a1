// Device link timings against the simulator over a MIDI service (run under
// scripts/with-jack.sh): how long the worker takes from the device's ports appearing to a
// completed read, how much CPU the worker burns while a device is connected and idle, and a
// whole firmware transfer beside as many bare round trips of a message of the same size.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <pthread.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "app/platform.h"
#include "device/device_link.h"
#include "device/firmware.h"
#include "device/midi_port.h"
#include "device/protocol.h"
#include "tools/devsim/devsim.h"
#include "ui/ui.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

struct Editor {
  orq::Platform platform{"Tarvik Editor", "com.tarvik.editor"};
  orq::Ui ui{&platform};
  orq::DeviceLink link;
  std::thread worker;
  Editor() {
    link.platform = &platform;
    link.ui = &ui;
    worker = std::thread(orq::runWorker, &link);
  }
  ~Editor() {
    link.stopRequested = 1;
    worker.join();
  }
};

bool waitState(orq::Ui& ui, int32_t state, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (ui.linkState.get() != state) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(200us);
  }
  return true;
}

double threadCpuSeconds(std::thread& t) {
  clockid_t id;
  if (pthread_getcpuclockid(t.native_handle(), &id) != 0) return 0;
  timespec ts{};
  clock_gettime(id, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double processCpuSeconds(const std::string& pid) {
  std::ifstream f("/proc/" + pid + "/stat");
  std::string line;
  std::getline(f, line);
  const size_t close = line.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream rest(line.substr(close + 2));
  std::string field;
  double utime = 0, stime = 0;
  for (int i = 3; i <= 15 && rest >> field; ++i) {
    if (i == 14) utime = std::atof(field.c_str());
    if (i == 15) stime = std::atof(field.c_str());
  }
  return (utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// The pid of the JACK server this run talks to, found by its name on the command line.
std::string jackServerPid() {
  const char* name = std::getenv("JACK_DEFAULT_SERVER");
  if (!name) return {};
  DIR* proc = opendir("/proc");
  if (!proc) return {};
  std::string found;
  while (dirent* e = readdir(proc)) {
    if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
    std::ifstream f(std::string("/proc/") + e->d_name + "/cmdline");
    std::string cmd((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    if (cmd.rfind("jackd", 0) == 0 &&
        cmd.find(std::string(1, '\0') + name + '\0') != std::string::npos) {
      found = e->d_name;
      break;
    }
  }
  closedir(proc);
  return found;
}

orq::devsim::Options simOptions() {
  static int serial = 0;
  orq::devsim::Options o;
  o.portBase = "ORQ OR-1 bench";
  o.clientName = "orq-devsim-bench-" + std::to_string(serial++);
  return o;
}

// From the simulator's ports appearing to linkState 1 (IDENTIFY, READ_SETTINGS and six
// READ_SLOT_NAME round trips). One measurement per repetition; read the median.
void BM_ConnectSequence(benchmark::State& state) {
  Editor ed;
  for (auto _ : state) {
    orq::devsim::Simulator sim(simOptions());
    const auto t0 = Clock::now();
    if (!sim.start()) {
      state.SkipWithError("no MIDI service (run under scripts/with-jack.sh)");
      return;
    }
    if (!waitState(ed.ui, orq::kConnected, 5000ms)) {
      state.SkipWithError("device not read");
      return;
    }
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
    sim.stop();
    waitState(ed.ui, orq::kNoDevice, 2000ms);
  }
}
BENCHMARK(BM_ConnectSequence)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(20)
    ->ReportAggregatesOnly(true);

// CPU of the worker thread (and of the JACK server that answers its port enumeration) while a
// device is connected and nothing happens, over 10 s, as a share of one core.
void BM_IdleConnectedCpu(benchmark::State& state) {
  orq::devsim::Simulator sim(simOptions());
  if (!sim.start()) {
    state.SkipWithError("no MIDI service (run under scripts/with-jack.sh)");
    return;
  }
  Editor ed;
  if (!waitState(ed.ui, orq::kConnected, 5000ms)) {
    state.SkipWithError("device not read");
    return;
  }
  const std::string jackPid = jackServerPid();
  for (auto _ : state) {
    const double w0 = threadCpuSeconds(ed.worker);
    const double j0 = jackPid.empty() ? 0 : processCpuSeconds(jackPid);
    const auto t0 = Clock::now();
    std::this_thread::sleep_for(10s);
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    const double w1 = threadCpuSeconds(ed.worker);
    const double j1 = jackPid.empty() ? 0 : processCpuSeconds(jackPid);
    state.counters["worker_cpu_pct"] = 100.0 * (w1 - w0) / wall;
    state.counters["jackd_cpu_pct"] = jackPid.empty() ? -1 : 100.0 * (j1 - j0) / wall;
    state.SetIterationTime(wall);
  }
  if (ed.ui.linkState.get() != orq::kConnected) state.SkipWithError("device lost while idle");
}
BENCHMARK(BM_IdleConnectedCpu)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);

// The editor's side of the link without the worker: its ports opened on the simulator's by
// name, so that one device operation can be timed on its own.
struct DirectLink {
  orq::Platform platform{"Tarvik Editor", "com.tarvik.editor"};
  orq::Ui ui{&platform};
  orq::DeviceLink link;
  orq::MidiPair ports;

  static int portIndex(RtMidi& port, const std::string& name) {
    const unsigned int count = orq::safePortCount(port);
    for (unsigned int i = 0; i < count; ++i)
      if (orq::safePortName(port, i).find(name) != std::string::npos) return static_cast<int>(i);
    return -1;
  }

  bool open(const orq::devsim::Simulator& sim) {
    ports = orq::createMidiPair("bench input client", "bench client", 100);
    if (!ports.in || !ports.out) return false;
    const int in = portIndex(*ports.in, sim.outPortName());
    const int out = portIndex(*ports.out, sim.inPortName());
    if (in < 0 || out < 0 || !orq::safeOpen(*ports.in, in, "midi Input") ||
        !orq::safeOpen(*ports.out, out, "midi Output"))
      return false;
    ports.in->ignoreTypes(false, true, true);
    link.platform = &platform;
    link.ui = &ui;
    link.midiIn = ports.in.get();
    link.midiOut = ports.out.get();
    link.midiInbox = ports.inbox.get();
    return true;
  }
};

// One fresh device at version 1.4 per repetition, and the editor's ports on it.
bool freshDevice(benchmark::State& state, std::unique_ptr<orq::devsim::Simulator>& sim,
                 std::unique_ptr<DirectLink>& direct) {
  direct.reset();
  sim.reset();
  orq::devsim::Options o = simOptions();
  o.firmware = 0x0104;
  sim = std::make_unique<orq::devsim::Simulator>(o);
  if (!sim->start()) {
    state.SkipWithError("no MIDI service (run under scripts/with-jack.sh)");
    return false;
  }
  direct = std::make_unique<DirectLink>();
  if (!direct->open(*sim)) {
    state.SkipWithError("simulator ports not found");
    return false;
  }
  return true;
}

// 512 FIRMWARE_CHUNKs, each acknowledged, and the acknowledged END_TRANSFER, as the worker
// sends them (the 100 ms pause after the commit's ACK included). Read the median.
void BM_FirmwareTransfer(benchmark::State& state) {
  const orq::FirmwareImage image = orq::firmwareImage();
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 13 + (i >> 9));
  image[orq::kFirmwareStampOffset] = 0x05;
  image[orq::kFirmwareStampOffset + 1] = 0x01;
  std::unique_ptr<orq::devsim::Simulator> sim;
  std::unique_ptr<DirectLink> direct;
  for (auto _ : state) {
    if (!freshDevice(state, sim, direct)) return;
    const auto t0 = Clock::now();
    const orq::TransferResult r = orq::transferFirmware(direct->link);
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
    if (r != orq::TransferResult::Committed || sim->device().firmwareRefused != 0) {
      state.SkipWithError("transfer failed");
      return;
    }
  }
}
BENCHMARK(BM_FirmwareTransfer)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// The same number of round trips (513) of a 522-byte message answered with ACK, with nothing
// else around them: what the transfer costs beyond the link's own latency.
void BM_BareRoundTrips513(benchmark::State& state) {
  const std::vector<uint8_t> zeros(orq::kChunkBytes, 0);
  const orq::Bytes message = orq::buildFirmwareChunk(zeros.data(), zeros.size(), 0);
  std::unique_ptr<orq::devsim::Simulator> sim;
  std::unique_ptr<DirectLink> direct;
  for (auto _ : state) {
    if (!freshDevice(state, sim, direct)) return;
    const auto t0 = Clock::now();
    for (int i = 0; i < 513; ++i) {
      if (orq::ask(direct->link, message, orq::kAck) != orq::Request::Arrived) {
        state.SkipWithError("no ACK");
        return;
      }
    }
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
  }
}
BENCHMARK(BM_BareRoundTrips513)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
