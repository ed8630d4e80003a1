// Cost of importWavFile, file read included: a 10-second 96 kHz stereo 24-bit recording (5.8 MB,
// every frame decoded, aim well under 30 ms) and a 4096-sample 48 kHz mono float IR. The files
// are written with libsndfile into a scratch folder that is removed afterwards.
#include <benchmark/benchmark.h>
#include <sndfile.h>
#include <stdlib.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "files/file_path.h"
#include "ir/wav_import.h"

namespace orq {
namespace {

namespace fs = std::filesystem;

fs::path scratchDir;

fs::path writeFile(const char* name, int format, int rate, int channels, int frames) {
  const fs::path path = scratchDir / name;
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = channels;
  info.format = format;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!f) {
    std::fprintf(stderr, "%s: %s\n", path.c_str(), sf_strerror(nullptr));
    std::exit(1);
  }
  std::vector<float> v;  // a decaying tone, loud from the first sample: nothing is trimmed
  for (int i = 0; i < frames; ++i) {
    const float x = 0.9f * std::exp(-i / 20000.0f) * std::cos(i * 0.05f);
    for (int c = 0; c < channels; ++c) v.push_back(c ? -x : x);
  }
  sf_writef_float(f, v.data(), frames);
  sf_close(f);
  return path;
}

void importEach(benchmark::State& state, const fs::path& path, size_t outputs) {
  const std::wstring wide = widePath(path.string());
  for (auto _ : state) {
    const ImportedIr ir = importWavFile(wide);
    if (ir.verdict != WavVerdict::Accepted || ir.samples.size() != outputs) {
      state.SkipWithError("import refused the file");
      return;
    }
    benchmark::DoNotOptimize(ir.samples.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(fs::file_size(path)));
}

void BM_Import96kStereo24Bit10s(benchmark::State& state) {
  static const fs::path path =
      writeFile("long.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 96000, 2, 960000);
  importEach(state, path, kMaxImportSamples);
}
BENCHMARK(BM_Import96kStereo24Bit10s)->Unit(benchmark::kMillisecond);

void BM_Import48kMonoFloat4096(benchmark::State& state) {
  static const fs::path path = writeFile("ir.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 48000, 1, 4096);
  importEach(state, path, kMaxImportSamples);
}
BENCHMARK(BM_Import48kMonoFloat4096)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace orq

int main(int argc, char** argv) {
  std::string dir = (std::filesystem::temp_directory_path() / "orq-wav-bench-XXXXXX").string();
  if (!mkdtemp(dir.data())) return 1;
  orq::scratchDir = dir;
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::filesystem::remove_all(dir);
  return 0;
}
