// Device link timings against the simulator over a MIDI service (run under
// scripts/with-jack.sh): how long the worker takes from the device's ports appearing to a
// completed read, how much CPU it burns while a device is connected and idle, how long its
// failure, recovery and stop paths take, a whole firmware transfer beside as many bare round trips
// of a message of the same size, and, on JACK servers of its own, how fast it notices a lost
// service and finds the device again, and what waiting for a missing service costs.
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
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/platform.h"
#include "device/device_link.h"
#include "device/firmware.h"
#include "device/link_io.h"
#include "device/midi_port.h"
#include "device/protocol.h"
#include "tests/faults/fault_env.h"
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
    link.host = &platform;
    link.state = &ui;
    worker = std::thread(orq::runWorker, &link);
  }
  ~Editor() {
    orq::requestStop(link);
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
    link.host = &platform;
    link.state = &ui;
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

double since(Clock::time_point t0, Clock::time_point t1) {
  return std::chrono::duration<double>(t1 - t0).count();
}

// A device that never answers: IDENTIFY, READ_SETTINGS and the first READ_SLOT_NAME time out
// (three reply budgets), then RESET, the recovery pause and a fresh IDENTIFY. Counters in
// seconds: from the worker's start to its first request, from the first request to RESET (3 s
// by design), from RESET to the next IDENTIFY (1 s by design).
void BM_SilentDeviceFailureAndRecovery(benchmark::State& state) {
  auto o = simOptions();
  o.silent = true;
  orq::devsim::Simulator sim(o);
  if (!sim.start()) {
    state.SkipWithError("no MIDI service (run under scripts/with-jack.sh)");
    return;
  }
  for (auto _ : state) {
    sim.clearRecords();
    const auto t0 = Clock::now();
    Editor ed;
    const bool done = sim.waitFor(
        [](const auto& r) {
          int identify = 0;
          for (const auto& x : r) identify += !x.sent && x.name == "IDENTIFY";
          return identify >= 2;
        },
        10s);
    const auto r = sim.records();
    if (!done || r.size() < 5) {
      state.SkipWithError("no recovery seen");
      return;
    }
    state.counters["first_request_s"] = since(t0, r[0].time);
    state.counters["failing_s"] = since(r[0].time, r[3].time);
    state.counters["recovery_s"] = since(r[3].time, r[4].time);
    state.SetIterationTime(since(t0, r[4].time));
  }
}
BENCHMARK(BM_SilentDeviceFailureAndRecovery)
    ->UseManualTime()
    ->Unit(benchmark::kSecond)
    ->Iterations(1);

// From the stop request to the worker's end: inside a reply wait (arg 0) and inside the STORE
// display (arg 1). The close of the window waits for this, at most 500 ms.
void BM_StopLatency(benchmark::State& state) {
  const bool duringStore = state.range(0) == 1;
  auto o = simOptions();
  o.silent = !duringStore;
  orq::devsim::Simulator sim(o);
  if (!sim.start()) {
    state.SkipWithError("no MIDI service (run under scripts/with-jack.sh)");
    return;
  }
  for (auto _ : state) {
    sim.clearRecords();
    auto ed = std::make_unique<Editor>();
    if (duringStore) {
      waitState(ed->ui, orq::kConnected, 5000ms);
      ed->ui.pendingCommand = orq::kCommandStore;
      const auto deadline = Clock::now() + 5s;
      while (ed->ui.statusCode.get() != orq::kStatusStoring && Clock::now() < deadline)
        std::this_thread::sleep_for(200us);
    } else {
      sim.waitFor([](const auto& r) { return !r.empty(); }, 5000ms);
    }
    const auto t0 = Clock::now();
    ed.reset();
    state.SetIterationTime(since(t0, Clock::now()));
  }
}
BENCHMARK(BM_StopLatency)
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// Points the MIDI layer at one JACK server for a benchmark's life.
struct UseServer {
  explicit UseServer(const fault_env::JackServer& server) {
    for (const char* n : {"JACK_DEFAULT_SERVER", "JACK_NO_START_SERVER", "ORQ_MIDI_API"}) {
      const char* v = std::getenv(n);
      saved.emplace_back(n, v ? std::optional<std::string>(v) : std::nullopt);
    }
    fault_env::useServer(server);
  }
  ~UseServer() {
    for (const auto& [n, v] : saved) {
      if (v)
        setenv(n.c_str(), v->c_str(), 1);
      else
        unsetenv(n.c_str());
    }
  }
  std::vector<std::pair<std::string, std::optional<std::string>>> saved;
};

// The JACK server is killed under a connected device, then started again (orq-devsim, a process
// of its own, opens its ports again by itself). Counters in seconds: from the kill to NO DEVICE,
// and from the server taking clients again to the device read in full.
void BM_ServiceLossAndReturn(benchmark::State& state) {
  fault_env::JackServer server;
  if (!server.reserved() || !server.start()) {
    state.SkipWithError("no JACK server could be started");
    return;
  }
  UseServer env(server);
  fault_env::Devsim sim(ORQ_DEVSIM, "ORQ KTB bench");
  if (!sim.ready()) {
    state.SkipWithError("orq-devsim did not start");
    return;
  }
  Editor ed;
  double notice = 0, recover = 0;
  int rounds = 0;
  for (auto _ : state) {
    if (!waitState(ed.ui, orq::kConnected, 10s)) break;
    const auto killed = Clock::now();
    server.kill();
    if (!waitState(ed.ui, orq::kNoDevice, 10s)) break;
    notice += since(killed, Clock::now());
    if (!server.start()) break;
    const auto back = Clock::now();
    if (!waitState(ed.ui, orq::kConnected, 10s)) break;
    recover += since(back, Clock::now());
    ++rounds;
    state.SetIterationTime(since(killed, Clock::now()));
  }
  if (rounds == 0) {
    state.SkipWithError("the device was not found again");
    return;
  }
  state.counters["notice_s"] = notice / rounds;
  state.counters["recover_s"] = recover / rounds;
}
BENCHMARK(BM_ServiceLossAndReturn)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(5);

// No MIDI service at all (a JACK server name that nothing runs under): the CPU of the worker and
// of the whole process over 10 s, as a share of one core, while it tries again once a second.
void BM_NoServiceIdleCpu(benchmark::State& state) {
  fault_env::JackServer nothing;  // reserved, never started
  if (!nothing.reserved()) {
    state.SkipWithError("no free JACK server name");
    return;
  }
  UseServer env(nothing);
  Editor ed;
  std::this_thread::sleep_for(3s);  // past the short first intervals
  auto processCpu = [] {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
  };
  for (auto _ : state) {
    const double w0 = threadCpuSeconds(ed.worker);
    const double p0 = processCpu();  // libjack's own threads for each attempt included
    const auto t0 = Clock::now();
    std::this_thread::sleep_for(10s);
    const double wall = since(t0, Clock::now());
    state.counters["worker_cpu_pct"] = 100.0 * (threadCpuSeconds(ed.worker) - w0) / wall;
    state.counters["process_cpu_pct"] = 100.0 * (processCpu() - p0) / wall;
    state.SetIterationTime(wall);
  }
}
BENCHMARK(BM_NoServiceIdleCpu)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
