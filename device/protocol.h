// The sysex wire format: builders for every message the editor sends, and the decoder of what
// the device sends back. Pure functions over bytes; no port and no editor state here (the
// decoded reply lands in the state in device_state.h). Every builder returns a message whose
// data bytes are all below 0x80, or nothing at all.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "state/editor_state.h"

namespace orq {

using Bytes = std::vector<uint8_t>;

// Message codes (byte 2), editor to device.
enum SysexCode : uint8_t {
  kWriteSettings = 0x01,
  kReadSettings = 0x02,
  kReadSlotName = 0x04,
  kFirmwareChunk = 0x07,
  kIrChunk = 0x08,
  kEndTransfer = 0x09,
  kStore = 0x0A,
  kIdentify = 0x0B,
  kReset = 0x0C,
};

// Reply codes (byte 2), device to editor; also the values of DeviceLink::lastReply.
enum ReplyCode : uint8_t {
  kSettingsDump = 0x02,
  kChangeNotice = 0x03,
  kSlotName = 0x04,
  kAck = 0x08,
  kVersion = 0x0B,
};

inline constexpr uint8_t kFirmwareTarget = 0x10;
inline constexpr size_t kChunkBytes = 256;
inline constexpr size_t kNameFieldBytes = 64;

// Whole message lengths, F0 and F7 included.
inline constexpr size_t kWriteSettingsLength = 18;
inline constexpr size_t kFirmwareChunkLength = 522;
inline constexpr size_t kIrChunkLength = 520;
inline constexpr size_t kEndTransferLength = 73;

// END_TRANSFER of a firmware image: this name and a size field of four 0x0F nibbles.
inline constexpr char kFirmwareName[] = "ORQ.bin";
inline constexpr uint16_t kFirmwareSizeField = 0xFFFF;

// What a name byte outside 7-bit ASCII becomes, in both directions: sent in END_TRANSFER as
// this byte, shown in a received slot name as this character (as are control bytes there).
inline constexpr char kUnsafeNameByte = '?';

// One program's settings as WRITE_SETTINGS carries them: settings-block entries 0..14 (entry 15,
// the received flag, is the editor's own) and the two device-wide values of the packed byte.
inline constexpr int kSettingsWords = 15;
struct ProgramSettings {
  int32_t program = 0;
  int32_t midiChannel = 0;
  int32_t boostLock = 0;
  std::array<int32_t, kSettingsWords> words{};
  bool operator==(const ProgramSettings&) const = default;
};

// An empty result means "send nothing": the builder refused an argument that the message cannot
// carry (a program outside 0..127, a slot outside 0..5, an offset wider than its field, an
// unknown END_TRANSFER target). The caller must not send, and must not wait for a reply.

// WRITE_SETTINGS for settings.program (18 bytes). Block values are cut to the bits their field
// carries (7 bits per byte, 4 bits for the low member of a nibble pair, 3 for the high one), so
// no byte reaches 0x80.
Bytes buildWriteSettings(const ProgramSettings& settings);
// The reverse, for WRITE_SETTINGS messages kept in files: true when `message` is one complete
// 18-byte WRITE_SETTINGS with every data byte below 0x80 and the packed byte's bits 6-7 clear.
// Says nothing about whether the values are in their ranges.
bool decodeWriteSettings(const uint8_t* message, size_t length, ProgramSettings& out);
Bytes buildReadSettings(int32_t program);  // 5 bytes
Bytes buildReadSlotName(int32_t slot);     // 5 bytes
// 256 bytes of `image` from `offset`, positions past the end sent as zero.
Bytes buildFirmwareChunk(const uint8_t* image, size_t imageSize, uint32_t offset);  // 522
Bytes buildIrChunk(const uint8_t* image, size_t imageSize, uint32_t offset);        // 520
// The same into a caller's buffer of at least kFirmwareChunkLength / kIrChunkLength bytes, for
// transfers that build every chunk in one fixed buffer. Return the length written, 0 if refused.
size_t buildFirmwareChunk(const uint8_t* image, size_t imageSize, uint32_t offset, uint8_t* out);
size_t buildIrChunk(const uint8_t* image, size_t imageSize, uint32_t offset, uint8_t* out);
// target: slot 0..5 or kFirmwareTarget. At most 64 name bytes are sent, zero-padded; a byte of
// 0x80 or more is sent as kUnsafeNameByte.
Bytes buildEndTransfer(uint8_t target, uint16_t size, const std::string& name);  // 73

// The four-byte commands.
Bytes buildStore();
Bytes buildIdentify();
Bytes buildReset();

// One received message, decoded. `code` is 0 for a message that is malformed, short, unknown,
// or names a program above 127 or a slot above 5: such a message changes nothing.
struct Reply {
  uint8_t code = 0;  // a ReplyCode, or 0
  // kSettingsDump: the program and the entries the message carries (bit e of `present` for
  // entry e; entries 0..6 always, the nibble pairs and gates only when they come before the end
  // byte), the packed byte's two values, as sent (pairs not yet normalised).
  // kChangeNotice: hasProgram when it names the program now selected.
  int32_t program = 0;
  bool hasProgram = false;
  int32_t midiChannel = 0;
  int32_t boostLock = 0;
  uint16_t present = 0;
  std::array<int32_t, kSettingsWords> words{};
  // kSlotName: the slot and, when its name field is not empty, the name as shown (upper case,
  // the "3_" prefix taken off, unsafe bytes as kUnsafeNameByte).
  int32_t slot = 0;
  bool hasName = false;
  std::wstring name;
  // kVersion: whether both version bytes came, and the version they state.
  bool versionStated = false;
  uint16_t version = 0;
};

// Reads only inside [message, message + length); the last byte of a message is its end marker
// and is never read as a value.
Reply decodeReply(const uint8_t* message, size_t length);

}  // namespace orq
