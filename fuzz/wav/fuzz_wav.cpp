// Feeds arbitrary file bytes to the WAV import and checks what the upload relies on: an
// accepted file gives 1 to 4096 finite samples and a rate and channel count the import takes;
// a refused one gives no samples at all, and one refused as truncated states more bytes than
// it holds. An accepted RIFF file whose data chunk ends the file imports the same once its
// sizes are left as streaming writers leave them (0xFFFFFFFF; 0x7FFFFFFF; 0 with a RIFF size of
// 0).
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "ir/wav_import.h"

namespace {

void check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}

uint32_t le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void set32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> 8 * i);
}

// Where the size field of a RIFF file's data chunk is, when that chunk ends the file; 0 if not.
size_t lastDataSize(const uint8_t* b, size_t size) {
  if (size < 12 || std::memcmp(b, "RIFF", 4) != 0) return 0;
  for (size_t pos = 12; pos + 8 <= size;) {
    const uint64_t body = le32(b + pos + 4);
    if (std::memcmp(b + pos, "data", 4) == 0) return pos + 8 + body == size ? pos + 4 : 0;
    pos += 8 + body + (body & 1);
  }
  return 0;
}

void checkStreamed(const uint8_t* data, size_t size, const orq::ImportedIr& whole) {
  const size_t field = lastDataSize(data, size);
  if (field == 0) return;
  const struct {
    uint32_t riff, data;
  } kMarkers[] = {{0xFFFFFFFF, 0xFFFFFFFF}, {0, 0}, {0, 0x7FFFFFFF}};
  for (const auto& m : kMarkers) {
    std::vector<uint8_t> streamed(data, data + size);
    set32(&streamed[4], m.riff);
    set32(&streamed[field], m.data);
    const orq::ImportedIr ir = orq::importWavBytes(streamed.data(), streamed.size());
    check(ir.verdict == whole.verdict && ir.samples == whole.samples,
          "a streamed file imports as the same file with its sizes");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const orq::ImportedIr ir = orq::importWavBytes(data, size);
  if (ir.verdict != orq::WavVerdict::Accepted) {
    check(ir.samples.empty(), "refused file has no samples");
    if (ir.verdict == orq::WavVerdict::Truncated)
      check(ir.statedBytes > ir.presentBytes && ir.presentBytes < size, "truncated: cut short");
    return 0;
  }
  check(!ir.samples.empty(), "accepted file has samples");
  check(ir.samples.size() <= orq::kMaxImportSamples, "at most 4096 samples");
  for (float x : ir.samples) check(std::isfinite(x), "samples are finite");
  check(ir.rate >= orq::kMinWavRate && ir.rate <= orq::kMaxWavRate, "rate 44100..96000");
  check(ir.channels == 1 || ir.channels == 2, "1 or 2 channels");
  checkStreamed(data, size, ir);
  return 0;
}
