// Sysex builders and the reply decoder. Both only format or read bytes; applyReply
// (device_state.cpp) is the one place where what the device says lands in the editor state.
//
// Rules for input the device should never send:
// - The last byte of a received message ends it; values are read from [3] .. [length - 2].
//   A settings byte or version byte that falls at or past that end is missing: the block
//   entries it would fill are not `present` (and keep their values in the state), and a VERSION
//   without both bytes states no version (it still counts as the answer to IDENTIFY).
// - A SETTINGS_DUMP for a program above 127 or a SLOT_NAME for a slot above 5 names nothing the
//   editor keeps; it is dropped whole, lastReply included, so a wait for it does not succeed.
#include "device/protocol.h"

#include <algorithm>

namespace orq {
namespace {

constexpr uint8_t kStart = 0xF0;
constexpr uint8_t kEnd = 0xF7;

Bytes shortCommand(uint8_t code) {
  return {kStart, 0x00, code, kEnd};
}

uint8_t dataByte(int32_t value) {
  return static_cast<uint8_t>(value & 0x7F);
}

// Writes the header, the offset as `nibbles` nibbles (most significant first), 256 image bytes
// nibble-split and the end byte. Returns the length written.
size_t writeChunk(uint8_t code, int nibbles, const uint8_t* image, size_t imageSize,
                  uint32_t offset, uint8_t* out) {
  size_t n = 0;
  out[n++] = kStart;
  out[n++] = 0x00;
  out[n++] = code;
  for (int i = nibbles - 1; i >= 0; --i)
    out[n++] = static_cast<uint8_t>((offset >> (4 * i)) & 0x0F);
  for (size_t i = 0; i < kChunkBytes; ++i) {
    const size_t pos = static_cast<size_t>(offset) + i;
    const uint8_t b = (image != nullptr && pos < imageSize) ? image[pos] : 0;
    out[n++] = static_cast<uint8_t>(b >> 4);
    out[n++] = static_cast<uint8_t>(b & 0x0F);
  }
  out[n++] = kEnd;
  return n;
}

wchar_t nameChar(uint8_t b) {
  if (b < 0x20 || b >= 0x7F) return static_cast<wchar_t>(kUnsafeNameByte);  // control or 8-bit
  if (b >= 'a' && b <= 'z') return static_cast<wchar_t>(b - 'a' + 'A');
  return static_cast<wchar_t>(b);
}

void decodeSettingsDump(const uint8_t* m, size_t length, Reply& r) {
  const uint8_t p = m[3];
  if (p >= kProgramCount) return;
  r.program = p;
  r.midiChannel = m[4] & 0x1F;
  r.boostLock = (m[4] >> 5) & 1;
  const size_t last = length - 2;  // last position that carries a value
  const auto take = [&](int entry, uint8_t value) {
    r.words[entry] = value;
    r.present = static_cast<uint16_t>(r.present | (1u << entry));
  };
  for (int e = kLoopBypass; e <= kIrBypass; ++e) take(e, m[5 + e]);
  // Bytes 12, 13, 14: presence, deep, lowpass; low nibble channel 1, high nibble channel 2.
  for (int pair = 0; pair < 3; ++pair) {
    const size_t pos = 12 + static_cast<size_t>(pair);
    if (pos > last) break;
    take(kPresence1 + 2 * pair, m[pos] & 0x0F);
    take(kPresence2 + 2 * pair, m[pos] >> 4);
  }
  if (last >= 15) take(kGate1, m[15]);
  if (last >= 16) take(kGate2, m[16]);
  r.code = kSettingsDump;
}

void decodeSlotName(const uint8_t* m, Reply& r) {
  const uint8_t s = m[4];
  if (s >= kSlotCount) return;
  r.slot = s;
  if (m[5] != 0) {
    const uint8_t* text = m + 5;
    size_t n = 0;
    while (n < kNameFieldBytes && text[n] != 0) ++n;
    size_t from = 0;
    if (n >= 2 && text[0] == '0' + s && text[1] == '_') from = 2;  // the device's "3_" prefix
    r.name.reserve(n - from);
    for (size_t i = from; i < n; ++i) r.name.push_back(nameChar(text[i]));
    r.hasName = true;
  }
  r.code = kSlotName;
}

}  // namespace

Bytes buildWriteSettings(const ProgramSettings& s) {
  const int32_t p = s.program;
  if (p < 0 || p >= kProgramCount) return {};
  const auto& block = s.words;
  const auto pair = [&](int low, int high) {
    return static_cast<uint8_t>(((block[high] & 0x07) << 4) | (block[low] & 0x0F));
  };
  return {kStart,
          0x00,
          kWriteSettings,
          static_cast<uint8_t>(p),
          static_cast<uint8_t>(((s.boostLock & 1) << 5) | (s.midiChannel & 0x1F)),
          dataByte(block[kLoopBypass]),
          dataByte(block[kActiveChannel]),
          dataByte(block[kBoost1]),
          dataByte(block[kBoost2]),
          dataByte(block[kIrSelect1]),
          dataByte(block[kIrSelect2]),
          dataByte(block[kIrBypass]),
          pair(kPresence1, kPresence2),
          pair(kDeep1, kDeep2),
          pair(kLowpass1, kLowpass2),
          dataByte(block[kGate1]),
          dataByte(block[kGate2]),
          kEnd};
}

bool decodeWriteSettings(const uint8_t* m, size_t length, ProgramSettings& out) {
  if (m == nullptr || length != kWriteSettingsLength) return false;
  if (m[0] != kStart || m[1] != 0x00 || m[2] != kWriteSettings || m[length - 1] != kEnd)
    return false;
  for (size_t i = 1; i + 1 < length; ++i)
    if (m[i] >= 0x80) return false;
  if (m[4] & 0xC0) return false;
  ProgramSettings s;
  s.program = m[3];
  s.midiChannel = m[4] & 0x1F;
  s.boostLock = (m[4] >> 5) & 1;
  for (int e = kLoopBypass; e <= kIrBypass; ++e) s.words[e] = m[5 + e];
  for (int pair = 0; pair < 3; ++pair) {
    s.words[kPresence1 + 2 * pair] = m[12 + pair] & 0x0F;
    s.words[kPresence2 + 2 * pair] = m[12 + pair] >> 4;
  }
  s.words[kGate1] = m[15];
  s.words[kGate2] = m[16];
  out = s;
  return true;
}

Bytes buildReadSettings(int32_t program) {
  if (program < 0 || program >= kProgramCount) return {};
  return {kStart, 0x00, kReadSettings, static_cast<uint8_t>(program), kEnd};
}

Bytes buildReadSlotName(int32_t slot) {
  if (slot < 0 || slot >= kSlotCount) return {};
  return {kStart, 0x00, kReadSlotName, static_cast<uint8_t>(slot), kEnd};
}

size_t buildFirmwareChunk(const uint8_t* image, size_t imageSize, uint32_t offset, uint8_t* out) {
  if (offset > 0xFFFFFF) return 0;
  return writeChunk(kFirmwareChunk, 6, image, imageSize, offset, out);
}

size_t buildIrChunk(const uint8_t* image, size_t imageSize, uint32_t offset, uint8_t* out) {
  if (offset > 0xFFFF) return 0;
  return writeChunk(kIrChunk, 4, image, imageSize, offset, out);
}

Bytes buildFirmwareChunk(const uint8_t* image, size_t imageSize, uint32_t offset) {
  Bytes out(kFirmwareChunkLength);
  out.resize(buildFirmwareChunk(image, imageSize, offset, out.data()));
  return out;
}

Bytes buildIrChunk(const uint8_t* image, size_t imageSize, uint32_t offset) {
  Bytes out(kIrChunkLength);
  out.resize(buildIrChunk(image, imageSize, offset, out.data()));
  return out;
}

Bytes buildEndTransfer(uint8_t target, uint16_t size, const std::string& name) {
  if (target >= kSlotCount && target != kFirmwareTarget) return {};
  Bytes out(kEndTransferLength, 0);
  out[0] = kStart;
  out[2] = kEndTransfer;
  out[3] = target;
  for (int i = 0; i < 4; ++i) out[4 + i] = static_cast<uint8_t>((size >> (12 - 4 * i)) & 0x0F);
  const size_t n = std::min(name.size(), kNameFieldBytes);
  for (size_t i = 0; i < n; ++i) {
    const auto b = static_cast<uint8_t>(name[i]);
    out[8 + i] = b < 0x80 ? b : static_cast<uint8_t>(kUnsafeNameByte);
  }
  out[kEndTransferLength - 1] = kEnd;
  return out;
}

Bytes buildStore() {
  return shortCommand(kStore);
}
Bytes buildIdentify() {
  return shortCommand(kIdentify);
}
Bytes buildReset() {
  return shortCommand(kReset);
}

Reply decodeReply(const uint8_t* m, size_t length) {
  Reply r;
  if (m == nullptr || length < 3 || m[1] != 0x00) return r;
  switch (m[2]) {
    case kSettingsDump:
      if (length >= 14) decodeSettingsDump(m, length, r);
      break;
    case kChangeNotice:
      if (length != 4 && length != 5) break;
      r.hasProgram = length == 5 && m[3] <= 0x7F;
      if (r.hasProgram) r.program = m[3];
      r.code = kChangeNotice;
      break;
    case kSlotName:
      if (length >= 70) decodeSlotName(m, r);
      break;
    case kAck:
      if (length > 3) r.code = kAck;
      break;
    case kVersion:
      if (length < 4) break;
      r.versionStated = length >= 6;
      if (r.versionStated) r.version = static_cast<uint16_t>((m[3] << 8) | m[4]);
      r.code = kVersion;
      break;
    default:
      break;
  }
  return r;
}

}  // namespace orq
