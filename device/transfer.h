// Sending an image to the device: 256-byte chunks, each acknowledged before the next is sent,
// then one END_TRANSFER that commits it. The IR upload and the firmware update both go this way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace orq {

struct DeviceLink;

enum class ChunkKind { Ir, Firmware };  // IR_CHUNK (16-bit offsets) or FIRMWARE_CHUNK (24-bit)
enum class TransferResult { Committed, Failed, Stopped };

// Transfer progress after a chunk, in per cent: 100 - remaining / total * 100 (the product in
// single precision), truncated toward zero.
int32_t transferPercent(size_t remaining, size_t total);

// Sends image[0, size) in ceil(size / 256) chunks (positions past the end go as zero bytes), then
// `commit`, waiting for the device's ACK after each. After every chunk but the last, statusCode
// shows the progress; on the commit's ACK it shows 100, and after a 100 ms pause failureCount is
// cleared. Worker thread.
//   Failed: a chunk or the commit could not be sent (port closed, message refused) or was not
//     acknowledged in time. linkState 3, repaint, failureCount + 1; nothing more is sent.
//   Stopped: a stop request ended it; no shared field is touched after that.
TransferResult sendImage(DeviceLink& link, ChunkKind kind, const uint8_t* image, size_t size,
                         const std::vector<uint8_t>& commit);

}  // namespace orq
