// WAV import: every accepted container and encoding at four rates, mono and stereo, against the
// samples written; the files refused and why; the trim and the resampler against a
// double-precision reference; the cases that once lost data or would send an empty IR.
#include "ir/wav_import.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <numbers>
#include <random>

#include "files/file_path.h"

namespace orq {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
// Single-precision positions drift from the exact ones by up to ~4e-4 of a sample at 4096
// outputs; a sample off by one position is off by far more.
constexpr double kTolerance = 1e-3;

// --- Reference: the same formulas in double precision, written without the import's code ---

double lanczosRef(double d) {
  if (d == 0) return 1;
  if (std::fabs(d) >= 3) return 0;
  const double a = std::numbers::pi * d;
  return 3 * std::sin(a) * std::sin(a / 3) / (a * a);
}

std::vector<double> resampleRef(const std::vector<double>& x, uint32_t rate, uint64_t maxOut) {
  const uint64_t n = std::min<uint64_t>(uint64_t{48000} * x.size() / rate, maxOut);
  std::vector<double> out(n);
  for (uint64_t k = 0; k < n; ++k) {
    const double t = k * (rate / 48000.0);
    for (int64_t m = int64_t(std::floor(t)) - 4; m <= int64_t(std::floor(t)) + 3; ++m) {
      if (m >= 0 && m < int64_t(x.size())) out[k] += x[m] * lanczosRef(t - m);
    }
  }
  return out;
}

// What the import should make of a decoded first channel.
std::vector<double> importRef(std::vector<float> first, uint32_t rate) {
  size_t skip = 0;
  for (float& v : first) v = std::isfinite(v) ? v : 0;
  while (skip + 1 < first.size() && std::fabs(first[skip]) <= 0.01f) ++skip;
  const std::vector<double> x(first.begin() + skip, first.end());
  if (rate == 48000) return {x.begin(), x.begin() + std::min<size_t>(x.size(), 4096)};
  return resampleRef(x, rate, 4096);
}

void expectSamples(const std::vector<float>& got, const std::vector<double>& want, double tol) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i) {
    ASSERT_LE(std::fabs(got[i] - want[i]), tol) << "sample " << i << ": " << got[i];
  }
}

// --- Files written with libsndfile into a scratch folder ---

struct Scratch : testing::Environment {
  static inline fs::path dir;
  void SetUp() override {
    std::random_device seed;
    do {
      dir = fs::temp_directory_path() / ("orq-wav-" + std::to_string(seed()));
    } while (!fs::create_directory(dir));
  }
  void TearDown() override { fs::remove_all(dir); }
};
[[maybe_unused]] const auto* const kScratch = testing::AddGlobalTestEnvironment(new Scratch);

// Writes interleaved values; integer encodings get them as exact left-justified integers of
// `bits` bits (16 for the lossy ones). Returns the first channel as the file stores it.
std::vector<float> writeSound(const fs::path& path, int format, uint32_t rate, int channels,
                              const std::vector<double>& v, int bits = 16) {
  SF_INFO info{};
  info.samplerate = int(rate);
  info.channels = channels;
  info.format = format;
  SNDFILE* f = sf_open(path.string().c_str(), SFM_WRITE, &info);
  EXPECT_NE(f, nullptr) << sf_strerror(nullptr);
  if (!f) return {};
  std::vector<float> stored(v.size());
  const int sub = format & SF_FORMAT_SUBMASK;
  if (sub == SF_FORMAT_FLOAT || sub == SF_FORMAT_DOUBLE) {
    for (size_t i = 0; i < v.size(); ++i) stored[i] = float(v[i]);
    if (sub == SF_FORMAT_FLOAT) sf_write_float(f, stored.data(), sf_count_t(v.size()));
    if (sub == SF_FORMAT_DOUBLE) sf_write_double(f, v.data(), sf_count_t(v.size()));
  } else {
    const double scale = std::ldexp(1.0, bits - 1);
    std::vector<int> ints(v.size());
    for (size_t i = 0; i < v.size(); ++i) {
      const double q = std::clamp(std::round(v[i] * scale), -scale, scale - 1);
      ints[i] = int(int64_t(q) * (int64_t{1} << (32 - bits)));
      stored[i] = float(q / scale);
    }
    sf_write_int(f, ints.data(), sf_count_t(ints.size()));
  }
  sf_close(f);
  const bool lossy = sub == SF_FORMAT_ALAW || sub == SF_FORMAT_ULAW || sub == SF_FORMAT_IMA_ADPCM ||
                     sub == SF_FORMAT_MS_ADPCM;
  if (lossy) {  // what the codec gives back is the reference (ADPCM adds its block padding)
    SF_INFO back{};
    f = sf_open(path.string().c_str(), SFM_READ, &back);
    stored.resize(size_t(back.frames * back.channels));
    stored.resize(size_t(sf_read_float(f, stored.data(), sf_count_t(stored.size()))));
    sf_close(f);
  }
  std::vector<float> first;
  for (size_t i = 0; i < stored.size(); i += channels) first.push_back(stored[i]);
  return first;
}

// A decaying two-tone left channel that starts loud; a different right channel.
std::vector<double> sound(uint32_t rate, int channels, size_t frames) {
  std::vector<double> v;
  for (size_t i = 0; i < frames; ++i) {
    const double t = double(i) / rate;
    v.push_back(0.5 * std::exp(-t * 30) * std::cos(2 * std::numbers::pi * 1100 * t) +
                0.3 * std::exp(-t * 60) * std::sin(2 * std::numbers::pi * 4700 * t));
    if (channels == 2) v.push_back(0.2 - 0.4 * std::sin(2 * std::numbers::pi * 300 * t));
  }
  return v;
}

// Whether this libsndfile has the container of `format` at all.
bool canWrite(int format) {
  int count = 0;
  sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &count, sizeof count);
  for (int i = 0; i < count; ++i) {
    SF_FORMAT_INFO info{};
    info.format = i;
    sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &info, sizeof info);
    if (info.format == (format & SF_FORMAT_TYPEMASK)) return true;
  }
  return false;
}

ImportedIr importPath(const fs::path& p) {
  return importWavFile(pathText(p));
}

Bytes fileBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

TEST(WavImport, EveryAcceptedFormatAtEveryRateMatchesTheSamplesWritten) {
  struct Encoding {
    int sub, bits;
  };
  const Encoding kCommon[] = {
      {SF_FORMAT_PCM_U8, 8}, {SF_FORMAT_PCM_16, 16}, {SF_FORMAT_PCM_24, 24}, {SF_FORMAT_PCM_32, 32},
      {SF_FORMAT_FLOAT, 0},  {SF_FORMAT_DOUBLE, 0},  {SF_FORMAT_ALAW, 16},   {SF_FORMAT_ULAW, 16}};
  const Encoding kAdpcm[] = {{SF_FORMAT_IMA_ADPCM, 16}, {SF_FORMAT_MS_ADPCM, 16}};
  int files = 0;
  for (int container : {SF_FORMAT_WAV, SF_FORMAT_WAVEX, SF_FORMAT_W64}) {
    std::vector<Encoding> encodings(std::begin(kCommon), std::end(kCommon));
    if (container != SF_FORMAT_WAVEX) encodings.insert(encodings.end(), kAdpcm, kAdpcm + 2);
    for (const Encoding& e : encodings) {
      for (uint32_t rate : {44100u, 48000u, 88200u, 96000u}) {
        for (int channels : {1, 2}) {
          const int format = container | e.sub;
          SCOPED_TRACE(testing::Message() << std::hex << format << std::dec << " " << rate
                                          << " Hz, " << channels << " ch");
          const fs::path p = Scratch::dir / (std::to_string(files++) + ".wav");
          const auto first =
              writeSound(p, format, rate, channels, sound(rate, channels, 3000), e.bits);
          const ImportedIr ir = importPath(p);
          ASSERT_EQ(ir.verdict, WavVerdict::Accepted);
          EXPECT_EQ(ir.rate, rate);
          EXPECT_EQ(ir.channels, channels);
          ASSERT_GE(first.size(), 3000u);
          expectSamples(ir.samples, importRef(first, rate), rate == 48000 ? 0 : kTolerance);
        }
      }
    }
  }
}

// A file written to a pipe keeps the sizes its writer could not go back to fill in: its data
// runs to the end of the file, and it imports as the same file with its sizes filled in.
TEST(WavImport, StreamedFileImportsAsTheSameFileWithItsSizes) {
  const auto le32 = [](const Bytes& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
           uint32_t(b[at + 3]) << 24;
  };
  const auto set32 = [](Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> 8 * i);
  };
  // The sizes writers leave: ffmpeg's, libsndfile's on a pipe, a zero one, LAME's, SoX's (its
  // 0x7FFFF000 cut to whole blocks, 1 standing for it here).
  const struct {
    uint32_t riff, data;
  } kMarkers[] = {{0xFFFFFFFF, 0xFFFFFFFF}, {8, 0},          {0, 0},         {0xFFFFFFFF, 0},
                  {0, 0xFFFFFFFF},          {0, 0x7FFFFFFF}, {0x7FFFF024, 1}};
  const int kEncodings[] = {SF_FORMAT_PCM_U8,  SF_FORMAT_PCM_16, SF_FORMAT_PCM_24,
                            SF_FORMAT_PCM_32,  SF_FORMAT_FLOAT,  SF_FORMAT_DOUBLE,
                            SF_FORMAT_ALAW,    SF_FORMAT_ULAW,   SF_FORMAT_IMA_ADPCM,
                            SF_FORMAT_MS_ADPCM};
  for (int container : {SF_FORMAT_WAV, SF_FORMAT_WAVEX}) {
    for (int sub : kEncodings) {
      if (container == SF_FORMAT_WAVEX && (sub == SF_FORMAT_IMA_ADPCM || sub == SF_FORMAT_MS_ADPCM))
        continue;  // libsndfile writes ADPCM only as plain WAVE
      SCOPED_TRACE(testing::Message() << std::hex << (container | sub));
      const fs::path p = Scratch::dir / "streamed.wav";
      writeSound(p, container | sub, 44100, 2, sound(44100, 2, 3000));
      const Bytes whole = fileBytes(p);
      const ImportedIr want = importWavBytes(whole.data(), whole.size());
      ASSERT_EQ(want.verdict, WavVerdict::Accepted);
      size_t data = 12;
      while (data + 8 <= whole.size() && std::memcmp(&whole[data], "data", 4) != 0)
        data += 8 + ((le32(whole, data + 4) + 1) & ~1u);
      ASSERT_EQ(data + 8 + le32(whole, data + 4), whole.size()) << "data is the last chunk";
      ASSERT_EQ(std::memcmp(&whole[12], "fmt ", 4), 0);
      const uint32_t blockAlign = le32(whole, 32) & 0xFFFF;
      for (const auto& m : kMarkers) {
        Bytes streamed = whole;
        set32(streamed, 4, m.riff);
        set32(streamed, data + 4, m.data == 1 ? 0x7FFFF000 / blockAlign * blockAlign : m.data);
        const ImportedIr got = importWavBytes(streamed.data(), streamed.size());
        EXPECT_EQ(got.verdict, WavVerdict::Accepted) << m.riff << " " << m.data;
        EXPECT_EQ(got.samples, want.samples) << m.riff << " " << m.data;
      }
    }
  }
}

TEST(WavImport, RefusesOtherRatesChannelCountsContainersAndEncodings) {
  const struct {
    int format;
    uint32_t rate;
    int channels;
    WavVerdict verdict;
  } kCases[] = {
      {SF_FORMAT_WAV | SF_FORMAT_PCM_16, 22050, 1, WavVerdict::BadRate},
      {SF_FORMAT_WAV | SF_FORMAT_PCM_16, 32000, 1, WavVerdict::BadRate},
      {SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44099, 2, WavVerdict::BadRate},
      {SF_FORMAT_WAV | SF_FORMAT_PCM_16, 96001, 1, WavVerdict::BadRate},
      {SF_FORMAT_W64 | SF_FORMAT_FLOAT, 192000, 1, WavVerdict::BadRate},
      {SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 3, WavVerdict::BadChannels},
      {SF_FORMAT_WAVEX | SF_FORMAT_PCM_24, 48000, 4, WavVerdict::BadChannels},
      {SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 48000, 1, WavVerdict::NotWave},
      {SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 48000, 1, WavVerdict::NotWave},
      {SF_FORMAT_RF64 | SF_FORMAT_FLOAT, 48000, 1, WavVerdict::NotWave},
      {SF_FORMAT_WAV | SF_FORMAT_GSM610, 48000, 1, WavVerdict::NotWave},
      {SF_FORMAT_WAV | SF_FORMAT_G721_32, 48000, 1, WavVerdict::NotWave},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.format << std::dec << " " << c.rate);
    // A libsndfile built without the codec libraries (the Windows build's) cannot write FLAC;
    // that row needs one that can.
    if (!canWrite(c.format)) continue;
    const fs::path p = Scratch::dir / "refused.wav";
    writeSound(p, c.format, c.rate, c.channels, sound(c.rate, c.channels, 500));
    const ImportedIr ir = importPath(p);
    EXPECT_EQ(ir.verdict, c.verdict);
    EXPECT_TRUE(ir.samples.empty());
    if (c.verdict != WavVerdict::NotWave) {
      EXPECT_EQ(ir.rate, c.rate);
      EXPECT_EQ(ir.channels, c.channels);
    }
  }
}

// --- Headers libsndfile would not write ---

void put(Bytes& b, uint64_t v, int n) {
  for (int i = 0; i < n; ++i) b.push_back(uint8_t(v >> 8 * i));
}

Bytes chunk(const char* id, Bytes body, int64_t declared = -1) {
  Bytes b(id, id + 4);
  put(b, declared < 0 ? body.size() : uint64_t(declared), 4);
  if (body.size() & 1) body.push_back(0);
  b.insert(b.end(), body.begin(), body.end());
  return b;
}

Bytes fmt(uint16_t channels = 1, uint32_t rate = 48000, uint16_t align = 2, uint16_t bits = 16) {
  Bytes b;
  put(b, 1, 2);  // PCM
  put(b, channels, 2);
  put(b, rate, 4);
  put(b, rate * align, 4);
  put(b, align, 2);
  put(b, bits, 2);
  return chunk("fmt ", b);
}

Bytes body(const Bytes& chunk) {
  return Bytes(chunk.begin() + 8, chunk.end());
}

Bytes wave(std::initializer_list<Bytes> chunks) {
  Bytes b{'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
  for (const Bytes& c : chunks) b.insert(b.end(), c.begin(), c.end());
  return b;
}

// Wave64: GUID ids ("riff", "wave", "fmt ", "data" + a fixed tail), sizes counting the
// 24-byte header, chunks 8-byte aligned.
Bytes w64Id(const char* name) {
  Bytes b(name, name + 4);
  const bool riff = name == std::string("riff");
  const Bytes tail =
      riff ? Bytes{0x2E, 0x91, 0xCF, 0x11, 0xA5, 0xD6, 0x28, 0xDB, 0x04, 0xC1, 0, 0}
           : Bytes{0xF3, 0xAC, 0xD3, 0x11, 0x8C, 0xD1, 0, 0xC0, 0x4F, 0x8E, 0xDB, 0x8A};
  b.insert(b.end(), tail.begin(), tail.end());
  return b;
}

Bytes w64(std::initializer_list<std::pair<const char*, Bytes>> chunks, int64_t dataSize = -1) {
  Bytes b = w64Id("riff");
  put(b, 0, 8);
  const Bytes wave = w64Id("wave");
  b.insert(b.end(), wave.begin(), wave.end());
  for (const auto& [name, body] : chunks) {
    const Bytes id = w64Id(name);
    const bool data = name == std::string("data");
    b.insert(b.end(), id.begin(), id.end());
    put(b, data && dataSize >= 0 ? uint64_t(dataSize) : 24 + body.size(), 8);
    b.insert(b.end(), body.begin(), body.end());
    while (b.size() % 8) b.push_back(0);
  }
  return b;
}

TEST(WavImport, RefusesDamagedHeaders) {
  const Bytes pcm{0, 0x40, 0, 0xC0, 0, 0x20, 0, 0x10};
  const struct {
    const char* what;
    Bytes file;
    WavVerdict verdict;
    uint64_t stated = 0, present = 0;  // Truncated
  } kCases[] = {
      {"sound", wave({fmt(), chunk("data", pcm)}), WavVerdict::Accepted},
      {"odd chunk, padded", wave({chunk("LIST", {1, 2, 3}), fmt(), chunk("data", pcm)}),
       WavVerdict::Accepted},
      {"zero channels", wave({fmt(0), chunk("data", pcm)}), WavVerdict::NotWave},
      {"zero rate", wave({fmt(1, 0), chunk("data", pcm)}), WavVerdict::NotWave},
      {"zero block align", wave({fmt(1, 48000, 0), chunk("data", pcm)}), WavVerdict::NotWave},
      {"zero bits", wave({fmt(1, 48000, 2, 0), chunk("data", pcm)}), WavVerdict::NotWave},
      {"short fmt", wave({chunk("fmt ", Bytes(14, 1)), chunk("data", pcm)}), WavVerdict::NotWave},
      {"data before fmt", wave({chunk("data", pcm), fmt()}), WavVerdict::NotWave},
      {"no data", wave({fmt()}), WavVerdict::NotWave},
      {"no fmt", wave({chunk("data", pcm)}), WavVerdict::NotWave},
      {"data one byte short", wave({fmt(), chunk("data", pcm, 9)}), WavVerdict::Truncated, 9, 8},
      {"fmt past the end", wave({chunk("fmt ", Bytes(16, 1), 40)}), WavVerdict::NotWave},
      {"RIFX",
       [&] {
         auto b = wave({fmt(), chunk("data", pcm)});
         b[3] = 'X';
         return b;
       }(),
       WavVerdict::NotWave},
      {"data size 0", wave({fmt(), chunk("data", {}, 0)}), WavVerdict::NothingDecoded},
      // An empty data chunk inside a RIFF size that covers what follows is no streamed file.
      {"data size 0, then a chunk",
       [&] {
         auto b = wave({fmt(), chunk("data", {}, 0), chunk("LIST", pcm)});
         b[4] = uint8_t(b.size() - 8);
         return b;
       }(),
       WavVerdict::NothingDecoded},
      {"half a stereo frame", wave({fmt(2, 48000, 4), chunk("data", {1, 2})}),
       WavVerdict::NothingDecoded},
      {"4 bytes", Bytes{'R', 'I', 'F', 'F'}, WavVerdict::NotWave},
      {"w64 sound", w64({{"junk", {1, 2, 3}}, {"fmt ", body(fmt())}, {"data", pcm}}),
       WavVerdict::Accepted},
      {"w64 data before fmt", w64({{"data", pcm}, {"fmt ", body(fmt())}}), WavVerdict::NotWave},
      {"w64 zero rate", w64({{"fmt ", body(fmt(1, 0))}, {"data", pcm}}), WavVerdict::NotWave},
      {"w64 data past the end", w64({{"fmt ", body(fmt())}, {"data", pcm}}, 24 + 9),
       WavVerdict::Truncated, 9, 8},
      {"w64 chunk size below its header", w64({{"fmt ", body(fmt())}, {"data", pcm}}, 23),
       WavVerdict::NotWave},
  };
  for (const auto& c : kCases) {
    const ImportedIr ir = importWavBytes(c.file.data(), c.file.size());
    EXPECT_EQ(ir.verdict, c.verdict) << c.what;
    EXPECT_EQ(ir.samples.size(), c.verdict == WavVerdict::Accepted ? 4u : 0u) << c.what;
    EXPECT_EQ(ir.statedBytes, c.stated) << c.what;
    EXPECT_EQ(ir.presentBytes, c.present) << c.what;
  }
}

TEST(WavImport, RefusesTruncatedFilesAndNoise) {
  for (int container : {SF_FORMAT_WAV, SF_FORMAT_W64}) {
    const fs::path p = Scratch::dir / "whole.wav";
    writeSound(p, container | SF_FORMAT_PCM_16, 48000, 1, sound(48000, 1, 100));
    const Bytes whole = fileBytes(p);
    ASSERT_EQ(importWavBytes(whole.data(), whole.size()).verdict, WavVerdict::Accepted);
    // Cut inside the header, the file is no WAV file; cut inside the data, it is truncated.
    const size_t dataStart = whole.size() - 200;  // 100 16-bit samples, the last chunk
    for (size_t cut : {1, 4, 11, 12, 20, 36, 39, 43, 44, 60, 100, 200}) {
      ASSERT_LT(cut, whole.size());
      const ImportedIr ir = importWavBytes(whole.data(), cut);
      if (cut < dataStart) {
        EXPECT_EQ(ir.verdict, WavVerdict::NotWave) << cut;
      } else {
        EXPECT_EQ(ir.verdict, WavVerdict::Truncated) << cut;
        EXPECT_EQ(ir.statedBytes, 200u) << cut;
        EXPECT_EQ(ir.presentBytes, cut - dataStart) << cut;
      }
    }
  }
  std::mt19937 random(7);
  for (size_t size : {1, 13, 100, 5000}) {
    Bytes noise(size);
    for (auto& b : noise) b = uint8_t(random());
    EXPECT_EQ(importWavBytes(noise.data(), size).verdict, WavVerdict::NotWave) << size;
    noise.insert(noise.begin(), {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'});
    EXPECT_EQ(importWavBytes(noise.data(), noise.size()).verdict, WavVerdict::NotWave) << size;
  }
  EXPECT_EQ(importWavBytes(nullptr, 0).verdict, WavVerdict::Empty);
}

TEST(WavImport, FilesThatCannotBeReadOrAreTooLarge) {
  const fs::path big = Scratch::dir / "big.wav";
  const fs::path empty = Scratch::dir / "empty.wav";
  std::ofstream{big};
  std::ofstream{empty};
  fs::resize_file(big, kMaxWavFileBytes + 1);  // sparse: nothing is written
  EXPECT_EQ(importPath(big).verdict, WavVerdict::TooLarge);
  EXPECT_EQ(importPath(empty).verdict, WavVerdict::Empty);
  EXPECT_EQ(importPath(Scratch::dir / "missing.wav").verdict, WavVerdict::Unreadable);
  EXPECT_EQ(importPath(Scratch::dir).verdict, WavVerdict::Unreadable);
  EXPECT_EQ(importWavFile(L"").verdict, WavVerdict::Unreadable);

  // libsndfile takes narrow names, which on Windows cannot hold this one: the file is written
  // under a plain name and renamed.
  const std::wstring name = L"Caisse é 一 4x12.wav";
  const std::wstring path = pathText(Scratch::dir) + L"/" + name;
  writeSound(Scratch::dir / "plain.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 1,
             sound(48000, 1, 10));
  fs::rename(Scratch::dir / "plain.wav", filePath(path));
  EXPECT_EQ(importWavFile(path).samples.size(), 10u);
}

// --- The pipeline's own rules ---

TEST(WavImport, TrimLimitAndSanitiseAsTheDeviceExpects) {
  const auto ramp = [](size_t n, float from) {
    std::vector<float> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = from + 0.9f * float(i % 97) / 97;
    return v;
  };
  const auto quiet = [](size_t n, float level) {
    std::vector<float> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = i % 2 ? level : -level;
    return v;
  };
  const auto cat = [](std::vector<float> a, const std::vector<float>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  std::vector<float> impulses(10000);  // the reference puts them at outputs 0 and 1000
  impulses[0] = impulses[2000] = 1;
  const struct {
    const char* what;
    uint32_t rate;
    std::vector<float> left;
    size_t outputs;
  } kCases[] = {
      {"10000 at 48 kHz: first 4096 unchanged", 48000, ramp(10000, 0.05f), 4096},
      {"100 quiet samples go before the limit", 48000, cat(quiet(100, 0.005f), ramp(5000, 0.1f)),
       4096},
      {"44100 x 3000 after the trim", 44100, cat(quiet(50, 0), ramp(3000, 0.2f)), 3265},
      {"96 kHz x 10000: output k centred on input 2k", 96000, impulses, 4096},
      {"lead-in longer than a decode block, long tail", 96000,
       cat(quiet(5000, 0.002f), ramp(20000, -0.5f)), 4096},
      {"NaN and infinities become 0", 48000, {kNaN, 0.5f, kNaN, kInf, -kInf, 0.25f}, 5},
      {"NaN resampled", 44100, cat({0.5f, kNaN, -kInf}, ramp(100, 0.1f)), 112},
      {"near the float limit stays finite", 44100, {3e38f, 3e38f, 3e38f, 3e38f, -3e38f}, 5},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    const fs::path p = Scratch::dir / "case.wav";
    std::vector<double> stereo;
    for (float x : c.left) stereo.push_back(x), stereo.push_back(0.8);  // loud right: ignored
    writeSound(p, SF_FORMAT_WAV | SF_FORMAT_FLOAT, c.rate, 2, stereo);
    const ImportedIr ir = importPath(p);
    ASSERT_EQ(ir.verdict, WavVerdict::Accepted);
    ASSERT_EQ(ir.samples.size(), c.outputs);
    for (float x : ir.samples) ASSERT_TRUE(std::isfinite(x));
    if (c.left[0] < 1e38f) expectSamples(ir.samples, importRef(c.left, c.rate), kTolerance);
  }
}

// Regression: the old bound of file size / 4 frames decoded 2059 of a 16-bit file's 4096.
TEST(WavImport, SixteenBitFileKeepsEveryFrame) {
  const fs::path p = Scratch::dir / "short.wav";
  const auto first =
      writeSound(p, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 1, sound(48000, 1, 4096));
  expectSamples(importPath(p).samples, importRef(first, 48000), 0);
}

// Regression: an IR of nothing, or of one near-silent sample, would overwrite a slot with
// nothing to hear. One sample at 96 kHz resamples to nothing; a file within the lead-in
// threshold throughout (bounds included, a NaN counting as 0) is silent.
TEST(WavImport, NothingAudibleLeftIsRefused) {
  const struct {
    uint32_t rate;
    std::vector<double> left;
    WavVerdict verdict;
  } kCases[] = {
      {96000, {0.001, 0.002, 0.5}, WavVerdict::TrimmedToNothing},
      {48000, {0.01, -0.01, 0.007}, WavVerdict::Silent},
      {44100, std::vector<double>(9999, 0.003), WavVerdict::Silent},
      {48000, {0.0, kNaN, 0.0}, WavVerdict::Silent},
  };
  for (const auto& c : kCases) {
    const fs::path p = Scratch::dir / "nothing.wav";
    writeSound(p, SF_FORMAT_WAV | SF_FORMAT_FLOAT, c.rate, 1, c.left);
    const ImportedIr ir = importPath(p);
    EXPECT_EQ(ir.verdict, c.verdict) << c.left.size() << " samples at " << c.rate;
    EXPECT_TRUE(ir.samples.empty());
  }
}

TEST(QuietLeadIn, ThresholdIsInclusiveAndOneSampleStays) {
  const struct {
    std::vector<float> x;
    uint64_t skipped;
  } kCases[] = {
      {{}, 0},
      {{0.5f}, 0},
      {{0.01f, -0.01f, 0.2f}, 2},
      {{std::nextafter(0.01f, 1.0f), 0}, 0},
      {{-std::nextafter(0.01f, 1.0f), 0}, 0},
      {{0, 0, 0}, 2},
      {{0.005f, kNaN, 0.001f}, 1},
  };
  for (const auto& c : kCases) EXPECT_EQ(quietLeadIn(c.x.data(), c.x.size()), c.skipped);
}

TEST(Resampler, MatchesTheDoublePrecisionFormulaAndReadsOnlyItsSpan) {
  const struct {
    uint32_t rate;
    uint64_t count;
    uint32_t maxOut;
    size_t outputs;
  } kCases[] = {
      {44100, 3000, 4096, 3265}, {96000, 10000, 4096, 4096}, {88200, 5000, 4096, 2721},
      {50000, 777, 4096, 745},   {44100, 1, 4096, 1},        {96000, 1, 4096, 0},
      {48000, 10, 4, 4},         {96000, 20000, 100, 100},   {45000, 8, 4096, 8},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.rate << " x " << c.count);
    std::vector<float> x(c.count);
    std::vector<double> wide(c.count);
    for (uint64_t i = 0; i < c.count; ++i) wide[i] = x[i] = std::sin(float(i) * 0.7f) * 0.9f;
    const auto full = resampleTo48k(x.data(), c.count, c.rate, c.maxOut);
    ASSERT_EQ(full.size(), c.outputs);
    expectSamples(full, resampleRef(wide, c.rate, c.maxOut), kTolerance);
    for (uint64_t i = resampleSpan(c.rate, c.maxOut); i < c.count; ++i) x[i] = kNaN;
    EXPECT_EQ(resampleTo48k(x.data(), c.count, c.rate, c.maxOut), full);
  }
}

}  // namespace
}  // namespace orq
