// orq-irgen: writes the 18 factory IRs as "RW" blobs (ir_00.rw .. ir_17.rw) into a folder, and
// with --wav also as 32-bit float WAV files for listening and inspection. Run by the build.
// Refuses (exit 1) to write IRs that break the catalogue's shape rules.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/irgen/voicings.h"

namespace {

using orq::irgen::Voicing;

void putU16(std::vector<uint8_t>& b, uint32_t v) {
  b.push_back(uint8_t(v)), b.push_back(uint8_t(v >> 8));
}
void putU32(std::vector<uint8_t>& b, uint32_t v) {
  putU16(b, v & 0xFFFF), putU16(b, v >> 16);
}
void putSamples(std::vector<uint8_t>& b, const std::vector<float>& s) {
  for (float f : s) {
    uint32_t bits;
    static_assert(sizeof bits == sizeof f);
    std::memcpy(&bits, &f, 4);
    putU32(b, bits);  // little-endian whatever the host
  }
}

std::vector<uint8_t> rwBlob(const std::vector<float>& s) {
  std::vector<uint8_t> b = {'R', 'W'};
  putU16(b, uint32_t(4 * s.size()));
  putSamples(b, s);
  return b;
}

std::vector<uint8_t> wavFile(const std::vector<float>& s) {
  const uint32_t data = uint32_t(4 * s.size());
  std::vector<uint8_t> b;
  for (char c : std::string("RIFF")) b.push_back(uint8_t(c));
  putU32(b, 36 + data);
  for (char c : std::string("WAVEfmt ")) b.push_back(uint8_t(c));
  putU32(b, 16), putU16(b, 3), putU16(b, 1), putU32(b, 48000), putU32(b, 192000);
  putU16(b, 4), putU16(b, 32);
  for (char c : std::string("data")) b.push_back(uint8_t(c));
  putU32(b, data);
  putSamples(b, s);
  return b;
}

bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

// The catalogue's rules for one IR; prints the first broken one.
bool shapeOk(int index, const std::vector<float>& s, double peakWanted) {
  double peak = 0;
  for (float x : s) {
    if (!std::isfinite(x)) {
      std::fprintf(stderr, "orq-irgen: IR %d has a non-finite sample\n", index);
      return false;
    }
    peak = std::fmax(peak, std::fabs(x));
  }
  if (s.empty() || std::fabs(s[0]) <= 0.01 || peak < 0.54 || peak > 0.99 ||
      std::fabs(peak - peakWanted) > 1e-6) {
    std::fprintf(stderr, "orq-irgen: IR %d: first sample %g, peak %g\n", index,
                 s.empty() ? 0.0 : s[0], peak);
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::string outDir, wavDir;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--wav" && i + 1 < argc) {
      wavDir = argv[++i];
    } else if (outDir.empty()) {
      outDir = a;
    } else {
      outDir.clear();
      break;
    }
  }
  if (outDir.empty()) {
    std::fprintf(stderr, "usage: orq-irgen OUT_DIR [--wav WAV_DIR]\n");
    return 2;
  }
  const std::vector<Voicing> voicings = orq::irgen::factoryVoicings();
  for (int i = 0; i < int(voicings.size()); ++i) {
    const std::vector<float> s = orq::irgen::renderIr(voicings[i]);
    if (!shapeOk(i, s, voicings[i].peak)) return 1;
    char name[32];
    std::snprintf(name, sizeof name, "/ir_%02d", i);
    if (!writeFile(outDir + name + ".rw", rwBlob(s)) ||
        (!wavDir.empty() && !writeFile(wavDir + name + ".wav", wavFile(s)))) {
      std::fprintf(stderr, "orq-irgen: cannot write IR %d\n", i);
      return 1;
    }
  }
  return 0;
}
