// Feeds arbitrary file bytes to the WAV import and checks what the upload relies on: an
// accepted file gives 1 to 4096 finite samples and a rate and channel count the import takes;
// a refused one gives no samples at all.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "ir/wav_import.h"

namespace {

void check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const orq::ImportedIr ir = orq::importWavBytes(data, size);
  if (ir.verdict != orq::WavVerdict::Accepted) {
    check(ir.samples.empty(), "refused file has no samples");
    return 0;
  }
  check(!ir.samples.empty(), "accepted file has samples");
  check(ir.samples.size() <= orq::kMaxImportSamples, "at most 4096 samples");
  for (float x : ir.samples) check(std::isfinite(x), "samples are finite");
  check(ir.rate >= orq::kMinWavRate && ir.rate <= orq::kMaxWavRate, "rate 44100..96000");
  check(ir.channels == 1 || ir.channels == 2, "1 or 2 channels");
  return 0;
}
