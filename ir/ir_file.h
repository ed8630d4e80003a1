// The IR as the device takes it and as EXTRACT ALL writes it: a complete WAV file image (IEEE
// float, mono, 48000 Hz, 32 bits, 44-byte header), and the 64-byte name the device stores it
// under. Pure functions over samples and text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace orq {

inline constexpr size_t kIrHeaderBytes = 44;
// The transfer's 16-bit offset and size fields bound an uploaded image.
inline constexpr size_t kMaxUploadBytes = 0xFFFF;
inline constexpr uint32_t kMaxUploadSamples = (kMaxUploadBytes - kIrHeaderBytes) / 4;  // 16372
// What the device is told when a name has nothing printable left.
inline constexpr char kUnnamedIr[] = "USER IR";

// Writes the image of `count` samples into `out` (44 + 4 * count bytes). False, with `out`
// empty, when the image cannot be made (its size does not fit its 32-bit fields, or memory ran
// out).
bool encodeIrFile(const float* samples, uint32_t count, std::vector<uint8_t>& out);

// The name the device stores an IR under: upper-case ASCII, cut at the last '.', then at a last
// ".WAVE" or ".WAV", at most 64 bytes. Characters outside printable ASCII become '?', so no name
// byte can end or break a sysex message; a name with nothing left becomes kUnnamedIr.
//   "My Cab.wav" -> "MY CAB", "a.b.WAV" -> "A.B", "Cab.WAV.wav" -> "CAB", "x.wave" -> "X".
std::string deviceIrName(const std::wstring& name);

}  // namespace orq
