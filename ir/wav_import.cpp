// WAV import: file bytes to the mono 48 kHz IR the device takes.
//
//   1. Layout check: the chunk walk that decides whether libsndfile may see the bytes at all.
//   2. Decoding: libsndfile over the buffer, whitelisted formats, the first channel streamed
//      through the lead-in trim into a bounded head.
//   3. Resampler.
//   4. The entry points and the plain lead-in trim.
#include "ir/wav_import.h"

#include <sndfile.h>

#include <algorithm>
#include <cassert>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <new>

#include "files/file_path.h"

namespace orq {
namespace {

// --- 1. Layout check ---
// libsndfile forgives damage we must not: it cuts a data chunk longer than the file (a
// truncated download) to fit, and lets a zero block alignment pass. So the chunk list is walked
// here first, and the file is refused unless a "fmt " with no zero field precedes a "data"
// chunk that fits in the file. A streamed file's data size is one of the markers a writer
// leaves when it cannot go back; libsndfile is then shown the size the data really has.

uint16_t le16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}

uint32_t le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

uint64_t le64(const uint8_t* p) {
  return static_cast<uint64_t>(le32(p)) | static_cast<uint64_t>(le32(p + 4)) << 32;
}

// What the walk found. A streamed data chunk's 32-bit size field at `sizeField` reads as
// `present` through the decoder's view of the file.
struct Layout {
  enum Kind { Refused, Sound, Streamed, Truncated } kind = Refused;
  uint64_t sizeField = 0;
  uint64_t stated = 0;   // Truncated: what the data chunk states
  uint64_t present = 0;  // the bytes after the data chunk's header
};

// The format body shared by both containers (WAVEFORMATEX and its extensible form).
bool formatSound(const uint8_t* body, uint64_t size) {
  if (size < 16) return false;
  const uint16_t channels = le16(body + 2);
  const uint32_t rate = le32(body + 4);
  const uint16_t blockAlign = le16(body + 12);
  const uint16_t bits = le16(body + 14);
  return channels != 0 && rate != 0 && blockAlign != 0 && bits != 0;
}

// The data chunk whose body starts at `start`, of a file of `size` bytes.
Layout dataLayout(uint64_t stated, uint64_t start, uint64_t size) {
  Layout l;
  l.stated = stated;
  l.present = size - start;
  l.kind = stated > l.present ? Layout::Truncated : Layout::Sound;
  return l;
}

// Whether a RIFF data size is what a writer that cannot go back leaves for "unknown", as SoX
// reads them: 0xFFFFFFFF (ffmpeg), 0x7FFFFFFF (LAME), 0x7FFFF000 cut to whole blocks of
// `blockAlign` bytes (SoX); or 0 with data after it and a RIFF size not filled in either
// (0xFFFFFFFF, or one that ends before the data's body). A data chunk of 0 inside a RIFF size
// that covers more is an empty chunk with other chunks after it.
bool streamedSize(uint32_t stated, uint16_t blockAlign, uint32_t riffSize, uint64_t start,
                  uint64_t size) {
  constexpr uint32_t kSoxUnknown = 0x7FFFF000;
  if (stated == 0xFFFFFFFF || stated == 0x7FFFFFFF ||
      stated == kSoxUnknown / blockAlign * blockAlign)
    return true;
  return stated == 0 && size > start && (riffSize == 0xFFFFFFFF || uint64_t{riffSize} + 8 <= start);
}

// RIFF: 8-byte chunk headers, bodies padded to an even length.
Layout riffLayout(const uint8_t* b, uint64_t size) {
  if (size < 12 || std::memcmp(b, "RIFF", 4) != 0 || std::memcmp(b + 8, "WAVE", 4) != 0) {
    return {};
  }
  uint16_t blockAlign = 0;  // of the "fmt " chunk, once seen (never 0 then)
  uint64_t pos = 12;
  while (pos + 8 <= size) {
    const uint8_t* id = b + pos;
    const uint32_t body = le32(b + pos + 4);
    const uint64_t start = pos + 8;
    if (std::memcmp(id, "data", 4) == 0) {
      if (blockAlign == 0) return {};
      if (!streamedSize(body, blockAlign, le32(b + 4), start, size))
        return dataLayout(body, start, size);
      Layout l = dataLayout(size - start, start, size);
      l.kind = Layout::Streamed;
      l.sizeField = pos + 4;
      return l;
    }
    if (body > size - start) return {};
    if (std::memcmp(id, "fmt ", 4) == 0) {
      if (!formatSound(b + start, body)) return {};
      blockAlign = le16(b + start + 12);
    }
    pos = start + body + (body & 1);
  }
  return {};
}

// Sony Wave64: 16-byte GUID ids, 64-bit sizes that include the 24-byte header, 8-byte alignment.
constexpr uint8_t kW64Tail[12] = {0xF3, 0xAC, 0xD3, 0x11, 0x8C, 0xD1,
                                  0x00, 0xC0, 0x4F, 0x8E, 0xDB, 0x8A};
constexpr uint8_t kW64Riff[16] = {'r',  'i',  'f',  'f',  0x2E, 0x91, 0xCF, 0x11,
                                  0xA5, 0xD6, 0x28, 0xDB, 0x04, 0xC1, 0x00, 0x00};

bool w64Id(const uint8_t* p, const char* name) {
  return std::memcmp(p, name, 4) == 0 && std::memcmp(p + 4, kW64Tail, sizeof kW64Tail) == 0;
}

Layout w64Layout(const uint8_t* b, uint64_t size) {
  if (size < 40 || std::memcmp(b, kW64Riff, sizeof kW64Riff) != 0 || !w64Id(b + 24, "wave")) {
    return {};
  }
  bool formatSeen = false;
  uint64_t pos = 40;
  while (pos + 24 <= size) {
    const uint64_t chunk = le64(b + pos + 16);
    if (chunk < 24) return {};
    if (w64Id(b + pos, "data")) {
      return formatSeen ? dataLayout(chunk - 24, pos + 24, size) : Layout{};
    }
    if (chunk > size - pos) return {};
    if (w64Id(b + pos, "fmt ")) {
      if (!formatSound(b + pos + 24, chunk - 24)) return {};
      formatSeen = true;
    }
    pos += (chunk + 7) & ~uint64_t{7};
  }
  return {};
}

Layout layoutOf(const uint8_t* b, uint64_t size) {
  const Layout riff = riffLayout(b, size);
  return riff.kind != Layout::Refused ? riff : w64Layout(b, size);
}

// --- 2. Decoding ---

// The file as libsndfile reads it: the bytes, with a streamed data chunk's size field read as
// the size the chunk really has.
struct MemoryFile {
  const uint8_t* data;
  sf_count_t size;
  sf_count_t pos;
  sf_count_t fieldAt = -1;  // 4 bytes read as `field` (little-endian); -1: none
  uint32_t field = 0;
};

sf_count_t memLength(void* user) {
  return static_cast<MemoryFile*>(user)->size;
}

sf_count_t memSeek(sf_count_t offset, int whence, void* user) {
  auto* f = static_cast<MemoryFile*>(user);
  sf_count_t base = 0;
  if (whence == SEEK_CUR) {
    base = f->pos;
  } else if (whence == SEEK_END) {
    base = f->size;
  } else if (whence != SEEK_SET) {
    return -1;
  }
  // Offsets come from file headers: refuse rather than overflow or go before the start.
  if (offset < -base || offset > std::numeric_limits<sf_count_t>::max() - base) return -1;
  f->pos = base + offset;
  return f->pos;
}

sf_count_t memRead(void* dest, sf_count_t count, void* user) {
  auto* f = static_cast<MemoryFile*>(user);
  if (count <= 0 || f->pos >= f->size) return 0;
  const sf_count_t n = std::min(count, f->size - f->pos);
  std::memcpy(dest, f->data + f->pos, static_cast<size_t>(n));
  for (sf_count_t i = 0; f->fieldAt >= 0 && i < 4; ++i) {
    const sf_count_t at = f->fieldAt + i - f->pos;
    if (at >= 0 && at < n)
      static_cast<uint8_t*>(dest)[at] = static_cast<uint8_t>(f->field >> 8 * i);
  }
  f->pos += n;
  return n;
}

sf_count_t memWrite(const void*, sf_count_t, void*) {
  return 0;
}

sf_count_t memTell(void* user) {
  return static_cast<MemoryFile*>(user)->pos;
}

struct SndfileCloser {
  void operator()(SNDFILE* f) const { sf_close(f); }
};
using Sndfile = std::unique_ptr<SNDFILE, SndfileCloser>;

bool acceptedEncoding(const SF_INFO& info) {
  const int container = info.format & SF_FORMAT_TYPEMASK;
  if (container != SF_FORMAT_WAV && container != SF_FORMAT_WAVEX && container != SF_FORMAT_W64) {
    return false;
  }
  switch (info.format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_PCM_16:
    case SF_FORMAT_PCM_24:
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT:
    case SF_FORMAT_DOUBLE:
    case SF_FORMAT_ALAW:
    case SF_FORMAT_ULAW:
      return true;
    case SF_FORMAT_IMA_ADPCM:
    case SF_FORMAT_MS_ADPCM:
      return info.channels <= 2;
    default:
      return false;
  }
}

// The lead-in threshold, bounds included.
bool quiet(float x) {
  return x >= -0.01f && x <= 0.01f;
}

// The first channel as the import needs it: all frames counted, the quiet lead-in dropped as it
// streams past, and only the head the resampler can reach kept, so memory stays bounded
// however long the file is.
class FirstChannel {
 public:
  explicit FirstChannel(uint64_t keep) : keep_(keep) {
    assert(keep > 0 && "FirstChannel: nothing to keep");
    head_.reserve(keep);
  }

  void add(const float* interleaved, uint64_t frames, uint32_t channels) {
    for (uint64_t i = 0; i < frames; ++i) {
      if (head_.size() >= keep_) {
        frames_ += frames - i;
        return;
      }
      float x = interleaved[i * channels];
      if (!std::isfinite(x)) x = 0.0f;  // a NaN or infinity would spread over the whole IR
      ++frames_;
      if (!started_ && quiet(x)) {
        ++leadIn_;
        continue;
      }
      started_ = true;
      head_.push_back(x);
    }
  }

  uint64_t frames() const { return frames_; }
  // False when every sample was within the lead-in threshold: nothing of the file is sound.
  bool started() const { return started_; }
  // The samples after the lead-in: count() of them, of which head() holds the first ones.
  uint64_t count() const { return frames_ - leadIn_; }
  const std::vector<float>& head() const { return head_; }

 private:
  uint64_t keep_;
  uint64_t frames_ = 0;
  uint64_t leadIn_ = 0;
  bool started_ = false;
  std::vector<float> head_;
};

constexpr sf_count_t kBlockFrames = 4096;

ImportedIr refused(WavVerdict verdict, uint32_t rate = 0, uint16_t channels = 0) {
  ImportedIr ir;
  ir.verdict = verdict;
  ir.rate = rate;
  ir.channels = channels;
  return ir;
}

ImportedIr decode(const uint8_t* bytes, size_t size) {
  if (size == 0) return refused(WavVerdict::Empty);
  if (size > kMaxWavFileBytes) return refused(WavVerdict::TooLarge);
  const Layout layout = layoutOf(bytes, size);
  if (layout.kind == Layout::Refused) return refused(WavVerdict::NotWave);
  if (layout.kind == Layout::Truncated) {
    ImportedIr ir = refused(WavVerdict::Truncated);
    ir.statedBytes = layout.stated;
    ir.presentBytes = layout.present;
    return ir;
  }

  MemoryFile memory{bytes, static_cast<sf_count_t>(size), 0};
  if (layout.kind == Layout::Streamed) {  // no more than kMaxWavFileBytes: 32 bits hold it
    memory.fieldAt = static_cast<sf_count_t>(layout.sizeField);
    memory.field = static_cast<uint32_t>(layout.present);
  }
  SF_VIRTUAL_IO io{memLength, memSeek, memRead, memWrite, memTell};
  SF_INFO info{};
  Sndfile file(sf_open_virtual(&io, SFM_READ, &info, &memory));
  if (!file || !acceptedEncoding(info)) return refused(WavVerdict::NotWave);

  const uint32_t rate = info.samplerate > 0 ? static_cast<uint32_t>(info.samplerate) : 0;
  const uint16_t channels =
      info.channels > 0 && info.channels <= 0xFFFF ? static_cast<uint16_t>(info.channels) : 0;
  if (rate < kMinWavRate || rate > kMaxWavRate) return refused(WavVerdict::BadRate, rate, channels);
  if (channels < 1 || channels > 2) return refused(WavVerdict::BadChannels, rate, channels);

  sf_command(file.get(), SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);  // full scale is ±1.0
  std::vector<float> block(static_cast<size_t>(kBlockFrames) * channels);
  FirstChannel first(resampleSpan(rate, kMaxImportSamples));
  for (;;) {
    const sf_count_t got = sf_readf_float(file.get(), block.data(), kBlockFrames);
    if (got <= 0) break;
    first.add(block.data(), static_cast<uint64_t>(got), channels);
  }
  if (first.frames() == 0) return refused(WavVerdict::NothingDecoded, rate, channels);
  // A file quiet throughout would leave one sample of near silence, which would replace the
  // slot's IR with nothing to hear.
  if (!first.started()) return refused(WavVerdict::Silent, rate, channels);

  ImportedIr ir;
  ir.rate = rate;
  ir.channels = channels;
  ir.samples = resampleTo48k(first.head().data(), first.count(), rate, kMaxImportSamples);
  ir.verdict = ir.samples.empty() ? WavVerdict::TrimmedToNothing : WavVerdict::Accepted;
  return ir;
}

// --- 3. Resampler ---

float lanczos3(float d) {
  if (d == 0.0f) return 1.0f;
  if (!(d > -3.0f && d < 3.0f)) return 0.0f;
  const float pd = static_cast<float>(3.14159265358979323846 * static_cast<double>(d));
  return 3.0f * std::sin(pd) * std::sin(pd / 3.0f) / (pd * pd);
}

}  // namespace

uint64_t resampleSpan(uint32_t rate, uint32_t maxOut) {
  if (rate == 0 || maxOut == 0) return 0;
  if (rate == kImportRate) return maxOut;
  const float r = static_cast<float>(rate) / static_cast<float>(kImportRate);
  // The last output reads up to index floor(t) + 3, t = (maxOut - 1) * r.
  return static_cast<uint64_t>(std::floor(static_cast<float>(maxOut - 1) * r)) + 4;
}

std::vector<float> resampleTo48k(const float* x, uint64_t count, uint32_t rate, uint32_t maxOut) {
  if (rate == 0 || count == 0 || maxOut == 0) return {};
  if (rate == kImportRate) return std::vector<float>(x, x + std::min<uint64_t>(count, maxOut));

  const float r = static_cast<float>(rate) / static_cast<float>(kImportRate);
  const float length =
      static_cast<float>(kImportRate) / static_cast<float>(rate) * static_cast<float>(count);
  const uint32_t n = length >= static_cast<float>(maxOut) ? maxOut : static_cast<uint32_t>(length);
  std::vector<float> out(n);
  const int64_t last = static_cast<int64_t>(count) - 1;
  for (uint32_t k = 0; k < n; ++k) {
    const float t = static_cast<float>(k) * r;
    const int64_t c = static_cast<int64_t>(std::floor(t));
    const int64_t from = std::max<int64_t>(c - 4, 0);
    const int64_t to = std::min<int64_t>(c + 3, last);
    float sum = 0.0f;
    for (int64_t m = from; m <= to; ++m) sum += x[m] * lanczos3(t - static_cast<float>(m));
    if (!std::isfinite(sum)) {
      // Only samples near the float limit get here; the device must still get finite values.
      double wide = 0.0;
      for (int64_t m = from; m <= to; ++m) {
        wide += static_cast<double>(x[m]) * lanczos3(t - static_cast<float>(m));
      }
      sum = static_cast<float>(std::clamp<double>(wide, -FLT_MAX, FLT_MAX));
    }
    out[k] = sum;
  }
  return out;
}

// --- 4. Entry points and the plain lead-in trim ---

uint64_t quietLeadIn(const float* x, uint64_t count) {
  uint64_t i = 0;
  while (i + 1 < count && quiet(x[i])) ++i;
  return i;
}

ImportedIr importWavBytes(const uint8_t* bytes, size_t size) {
  assert((bytes != nullptr || size == 0) && "importWavBytes: null buffer with a size");
  try {
    return decode(bytes, size);
  } catch (const std::bad_alloc&) {
    return refused(WavVerdict::OutOfMemory);
  }
}

ImportedIr importWavFile(const std::wstring& path) {
  try {
    const std::filesystem::path file = filePath(path);
    std::error_code error;
    // Also keeps a FIFO or device node from blocking the worker.
    if (file.empty() || !std::filesystem::is_regular_file(file, error)) {
      return refused(WavVerdict::Unreadable);
    }
    std::ifstream in(file, std::ios::binary);
    if (!in.seekg(0, std::ios::end)) return refused(WavVerdict::Unreadable);
    const std::streamoff end = in.tellg();
    if (end < 0) return refused(WavVerdict::Unreadable);
    if (end == 0) return refused(WavVerdict::Empty);
    if (static_cast<uint64_t>(end) > kMaxWavFileBytes) return refused(WavVerdict::TooLarge);

    std::vector<uint8_t> bytes(static_cast<size_t>(end));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(bytes.data()), end);
    if (in.gcount() != end) return refused(WavVerdict::Unreadable);
    return importWavBytes(bytes.data(), bytes.size());
  } catch (const std::bad_alloc&) {
    return refused(WavVerdict::OutOfMemory);
  }
}

}  // namespace orq
