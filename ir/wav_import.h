// Turns a user's WAV file into the IR the device takes: mono, 48000 Hz, 1 to 4096 finite
// 32-bit float samples, or a reason why the file was refused. Pure functions over bytes and
// samples (importWavFile only reads the file); no port, no thread, no shared state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace orq {

inline constexpr uint64_t kMaxWavFileBytes = 64ull << 20;  // larger files are refused unread
inline constexpr uint32_t kMaxImportSamples = 4096;
inline constexpr uint32_t kImportRate = 48000;
inline constexpr uint32_t kMinWavRate = 44100;
inline constexpr uint32_t kMaxWavRate = 96000;

// Why a file was refused; Accepted when it was not. NotWave covers everything the decoder does
// not take: other containers and encodings, and damaged or inconsistent headers.
//
// A RIFF file written to a pipe (ffmpeg or sox to stdout) cannot have its sizes filled in: its
// data chunk states a size that means "unknown" (0xFFFFFFFF, 0x7FFFFFFF, SoX's 0x7FFFF000 in
// whole blocks), or 0 with a RIFF size that was not filled in either (0xFFFFFFFF, or one that
// ends before the data, such as 0). Such a file is whole: its data runs to the end of the file.
// Any other data chunk that states more than the file holds is Truncated.
enum class WavVerdict {
  Accepted,
  Unreadable,        // could not be opened or read (also: empty path, not a regular file)
  Empty,             // 0 bytes
  TooLarge,          // more than kMaxWavFileBytes
  NotWave,           // not a RIFF WAVE / WAVE extensible / Wave64 file in an accepted encoding
  Truncated,         // its data chunk states more bytes than the file holds (statedBytes)
  BadRate,           // outside kMinWavRate..kMaxWavRate
  BadChannels,       // not 1 or 2
  NothingDecoded,    // no whole frame of audio
  Silent,            // every sample within the lead-in threshold (about -40 dBFS)
  TrimmedToNothing,  // so short at a high rate that no 48 kHz sample remains
  OutOfMemory,
};

struct ImportedIr {
  WavVerdict verdict = WavVerdict::Unreadable;
  std::vector<float> samples;  // when accepted: 1..4096 samples, mono, 48000 Hz, all finite
  uint32_t rate = 0;           // what the file declared, once its header was understood
  uint16_t channels = 0;
  // Truncated: the size the data chunk states, and the bytes that follow its header.
  uint64_t statedBytes = 0;
  uint64_t presentBytes = 0;
};

// The whole pipeline over a file image held in memory: decode, keep the first channel, replace
// NaN and infinities by 0, drop the quiet lead-in, bring to 48000 Hz, limit to 4096 samples.
// Refused files come back with no samples; a file that is all lead-in is refused as Silent.
ImportedIr importWavBytes(const uint8_t* bytes, size_t size);

// Reads the whole file (path converted with filePath) and imports it, refusing it when it
// cannot be opened or read, is empty, or is larger than kMaxWavFileBytes (checked before
// reading).
ImportedIr importWavFile(const std::wstring& path);

// --- The steps, exposed for tests ---

// How many leading samples of x are quiet lead-in (within ±0.01, the bounds included), but at
// most count - 1 so that one sample always stays. NaN counts as loud; the import has already
// replaced it by 0.
uint64_t quietLeadIn(const float* x, uint64_t count);

// Lanczos-3 resampling of count samples at `rate` to 48000 Hz: at most maxOut output samples,
// trunc(48000 / rate * count) of them below that. At exactly 48000 Hz the first samples are
// copied unchanged. No gain change and no filter beyond the window. x must hold at least
// min(count, resampleSpan(rate, maxOut)) samples: the tail past that is never read, which lets
// the import keep only the head of a long file while passing its full length.
std::vector<float> resampleTo48k(const float* x, uint64_t count, uint32_t rate, uint32_t maxOut);

// How many leading input samples resampleTo48k(x, count, rate, maxOut) can read at most.
uint64_t resampleSpan(uint32_t rate, uint32_t maxOut);

}  // namespace orq
