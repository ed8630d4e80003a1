#include "device/transfer.h"

#include <array>

#include "device/device_link.h"
#include "device/link_io.h"
#include "device/protocol.h"
#include "state/editor_state.h"

namespace orq {
namespace {

constexpr std::chrono::milliseconds kAfterCommit{100};

// Waits for the ACK of what was just sent. A message that was not handed to the port is not
// waited for: it is a failure at once, so a closed port never passes for an acknowledged chunk.
TransferResult acknowledged(DeviceLink& link, bool sent) {
  if (!sent) {
    markFailure(link);
    return TransferResult::Failed;
  }
  switch (waitForReply(link, kAck)) {
    case WaitResult::Arrived:
      return TransferResult::Committed;
    case WaitResult::Stopped:
      return TransferResult::Stopped;
    case WaitResult::TimedOut:
      break;
  }
  markFailure(link);
  return TransferResult::Failed;
}

}  // namespace

int32_t transferPercent(size_t remaining, size_t total) {
  if (total == 0) return 100;
  const float share = static_cast<float>(remaining) / static_cast<float>(total) * 100.0f;
  return static_cast<int32_t>(100.0 - static_cast<double>(share));
}

TransferResult sendImage(DeviceLink& link, ChunkKind kind, const uint8_t* image, size_t size,
                         const std::vector<uint8_t>& commit) {
  EditorState& state = *link.state;
  // Every chunk is built in this one buffer; nothing is allocated per chunk.
  std::array<uint8_t, 1024> chunk;
  size_t remaining = size;
  for (size_t offset = 0;; offset += kChunkBytes) {
    const auto at = static_cast<uint32_t>(offset);
    const size_t length = kind == ChunkKind::Ir ? buildIrChunk(image, size, at, chunk.data())
                                                : buildFirmwareChunk(image, size, at, chunk.data());
    remaining -= std::min(remaining, kChunkBytes);
    link.lastReply = 0;
    const bool sent = length > 0 && sendToDevice(link, chunk.data(), length);
    if (sent && remaining > 0 && remaining < size) {
      state.statusCode = transferPercent(remaining, size);
      requestRepaint(link);
    }
    const TransferResult r = acknowledged(link, sent);
    if (r != TransferResult::Committed) return r;
    if (remaining == 0) break;
  }

  link.lastReply = 0;
  const TransferResult r = acknowledged(link, sendToDevice(link, commit));
  if (r != TransferResult::Committed) return r;
  state.statusCode = 100;
  requestRepaint(link);
  if (!pauseFor(link, kAfterCommit)) return TransferResult::Stopped;
  link.failureCount = 0;
  return TransferResult::Committed;
}

}  // namespace orq
