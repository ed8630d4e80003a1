// How close an IR upload comes to the device's own pace. Every chunk waits for its ACK, so an
// upload cannot beat chunks x one round trip; this measures both in the same run, against the
// simulator over the MIDI service (run under scripts/with-jack.sh). Each benchmark reports the
// median of its repetitions.
#include <benchmark/benchmark.h>
#include <sndfile.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/platform.h"
#include "device/device_link.h"
#include "device/ir_transfer.h"
#include "device/midi_port.h"
#include "device/protocol.h"
#include "files/file_path.h"
#include "ir/catalogue.h"
#include "tools/devsim/devsim.h"
#include "ui/ui.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRepetitions = 10;

// The editor's side without the worker thread: the benchmark's own thread owns the ports and
// calls the device operations directly, as the worker would.
struct Bench {
  orq::devsim::Simulator sim;
  orq::Platform platform{"Tarvik Editor", "com.tarvik.editor"};
  orq::Ui ui{&platform};
  orq::DeviceLink link;
  orq::MidiPair ports;

  Bench() : sim(options()) {}

  static orq::devsim::Options options() {
    orq::devsim::Options o;
    o.portBase = "ORQ OR-1 transfer bench";
    o.clientName = "orq-devsim-transfer-bench";
    o.noticeAfterCommit = false;  // nothing arrives that the next wait would have to skip
    return o;
  }

  static int find(RtMidi& port, const std::string& name) {
    const unsigned int n = orq::safePortCount(port);
    for (unsigned int i = 0; i < n; ++i)
      if (orq::safePortName(port, i).find(name) != std::string::npos) return static_cast<int>(i);
    return -1;
  }

  bool open() {
    if (!sim.start()) return false;
    ports = orq::createMidiPair("bench input", "bench output", 100);
    if (!ports.in || !ports.out) return false;
    const int in = find(*ports.in, sim.outPortName());
    const int out = find(*ports.out, sim.inPortName());
    if (in < 0 || out < 0) return false;
    if (!orq::safeOpen(*ports.in, static_cast<unsigned int>(in), "midi Input") ||
        !orq::safeOpen(*ports.out, static_cast<unsigned int>(out), "midi Output"))
      return false;
    ports.in->ignoreTypes(false, true, true);
    link.state = &ui;
    link.midiIn = ports.in.get();
    link.midiOut = ports.out.get();
    link.midiInbox = ports.inbox.get();
    return true;
  }
};

Bench* bench() {
  static std::unique_ptr<Bench> b = [] {
    auto made = std::make_unique<Bench>();
    if (!made->open()) made.reset();
    return made;
  }();
  return b.get();
}

// `chunks` bare round trips: one 520-byte IR_CHUNK out, its ACK back, as an upload's chunks go.
void BM_RoundTrips(benchmark::State& state) {
  Bench* b = bench();
  if (!b) return state.SkipWithError("no MIDI service (run under scripts/with-jack.sh)");
  const auto chunks = static_cast<int>(state.range(0));
  const std::vector<uint8_t> image(256, 0x5A);
  const orq::Bytes chunk = orq::buildIrChunk(image.data(), image.size(), 0);
  for (auto _ : state) {
    for (int i = 0; i < chunks; ++i) {
      b->link.lastReply = 0;
      orq::sendToDevice(b->link, chunk);
      if (orq::waitForReply(b->link, orq::kAck) != orq::WaitResult::Arrived)
        return state.SkipWithError("no ACK");
    }
  }
  state.counters["per_round_trip_ms"] = benchmark::Counter(
      chunks, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
// 65 and 157 chunks: a 4096-sample and a 9984-sample IR.
BENCHMARK(BM_RoundTrips)
    ->Arg(65)
    ->Arg(157)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(kRepetitions)
    ->ReportAggregatesOnly(true)
    ->UseRealTime();

// Whole uploads of catalogue entry 0 (4096 samples, 65 chunks) and 13 (9984 samples, 157
// chunks), commit included. The upload ends with the fixed 100 ms pause after the commit's ACK.
void BM_Upload(benchmark::State& state) {
  Bench* b = bench();
  if (!b) return state.SkipWithError("no MIDI service (run under scripts/with-jack.sh)");
  const orq::CatalogueEntry& e = b->ui.catalogue[state.range(0)];
  const orq::IrSamples ir = orq::blobSamples(e.blob);
  for (auto _ : state) {
    b->ui.linkState = orq::kBusy;
    if (orq::uploadIr(b->link, e.name, ir.data, ir.count, 0) != orq::TransferResult::Committed)
      return state.SkipWithError("upload failed");
  }
}
BENCHMARK(BM_Upload)
    ->Arg(0)
    ->Arg(13)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(kRepetitions)
    ->ReportAggregatesOnly(true)
    ->UseRealTime();

// From the moment the user's choice comes back from the file dialog to the first chunk of the
// IR reaching the device (as the simulator logs it, so one MIDI hop is included): reading a
// 10-second 96 kHz stereo 24-bit file, decoding, trimming, resampling and encoding it.
void BM_ImportToFirstChunk(benchmark::State& state) {
  Bench* b = bench();
  if (!b) return state.SkipWithError("no MIDI service (run under scripts/with-jack.sh)");
  const std::string path = (std::filesystem::temp_directory_path() /
                            ("orq-bench-" + std::to_string(::getpid()) + ".wav"))
                               .string();
  SF_INFO info{};
  info.samplerate = 96000;
  info.channels = 2;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_24;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!f) return state.SkipWithError("cannot write the test file");
  std::vector<float> x(96000 * 10 * 2);
  for (size_t i = 0; i < x.size(); ++i)
    x[i] = static_cast<float>(std::exp(-double(i) / 20000.0) * std::sin(double(i) * 0.01));
  sf_writef_float(f, x.data(), 96000 * 10);
  sf_close(f);

  for (auto _ : state) {
    b->sim.clearRecords();
    b->ui.linkState = orq::kBusy;
    const auto t0 = Clock::now();
    if (orq::importWav(b->link, orq::widePath(path), 1) != orq::TransferResult::Committed)
      return state.SkipWithError("import failed");
    for (const orq::devsim::Record& r : b->sim.records()) {
      if (r.sent || r.name != "IR_CHUNK") continue;
      state.SetIterationTime(std::chrono::duration<double>(r.time - t0).count());
      break;
    }
  }
  std::filesystem::remove(path);
}
BENCHMARK(BM_ImportToFirstChunk)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(kRepetitions)
    ->ReportAggregatesOnly(true)
    ->UseManualTime();

}  // namespace

BENCHMARK_MAIN();
