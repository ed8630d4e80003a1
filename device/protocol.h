// The sysex wire format: builders for every message the editor sends, and the handler that
// applies one received message to the editor state. Pure functions over bytes; no port here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace orq {

class Ui;
struct DeviceLink;

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

// WRITE_SETTINGS for ui.program, from its settings block, midiChannel and boostLock (18 bytes).
Bytes buildWriteSettings(const Ui& ui);
Bytes buildReadSettings(int32_t program);  // 5 bytes
Bytes buildReadSlotName(int32_t slot);     // 5 bytes
// 256 bytes of `image` from `offset`, positions past the end sent as zero.
Bytes buildFirmwareChunk(const uint8_t* image, size_t imageSize, uint32_t offset);  // 522
Bytes buildIrChunk(const uint8_t* image, size_t imageSize, uint32_t offset);        // 520
// target: slot 0..5 or kFirmwareTarget. Name bytes outside 7-bit ASCII are made safe.
Bytes buildEndTransfer(uint8_t target, uint16_t size, const std::string& name);  // 73
Bytes buildStore();     // 4
Bytes buildIdentify();  // 4
Bytes buildReset();     // 4

// Applies one received message to the editor state and the link. Malformed, short or unknown
// messages change nothing. Reads only inside [message, message + length).
void handleReply(const uint8_t* message, size_t length, Ui& ui, DeviceLink& link);

}  // namespace orq
