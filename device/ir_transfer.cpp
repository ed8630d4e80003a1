#include "device/ir_transfer.h"

#include <vector>

#include "device/device_link.h"
#include "device/link_io.h"
#include "device/protocol.h"
#include "files/file_path.h"
#include "ir/catalogue.h"
#include "ir/ir_export.h"
#include "ir/ir_file.h"
#include "ir/wav_import.h"
#include "state/editor_state.h"

namespace orq {
namespace {

// Refused before sending: the busy state ends without anything else happening.
TransferResult refuse(DeviceLink& link) {
  link.state->linkState = kConnected;
  requestRepaint(link);
  return TransferResult::Failed;
}

}  // namespace

TransferResult uploadIr(DeviceLink& link, const std::wstring& name, const float* samples,
                        uint32_t count, uint8_t slot) {
  std::vector<uint8_t> image;
  if (slot >= kSlotCount || !encodeIrFile(samples, count, image) ||
      image.size() > kMaxUploadBytes) {
    return refuse(link);
  }
  const std::vector<uint8_t> commit =
      buildEndTransfer(slot, static_cast<uint16_t>(image.size()), deviceIrName(name));
  return sendImage(link, ChunkKind::Ir, image.data(), image.size(), commit);
}

TransferResult uploadCatalogueEntry(DeviceLink& link, int32_t entry, uint8_t slot) {
  if (entry < 0 || entry >= kCatalogueSize) return refuse(link);
  const FactoryIr& e = factoryIr(entry);
  const IrSamples ir = blobSamples(e.blob);
  return uploadIr(link, e.name, ir.data, ir.count, slot);
}

TransferResult importWav(DeviceLink& link, const std::wstring& path, uint8_t slot) {
  return uploadImportedWav(link, path, importWavFile(path), slot);
}

TransferResult uploadImportedWav(DeviceLink& link, const std::wstring& path, const ImportedIr& ir,
                                 uint8_t slot) {
  if (ir.verdict != WavVerdict::Accepted) return refuse(link);
  return uploadIr(link, fileName(path), ir.samples.data(), static_cast<uint32_t>(ir.samples.size()),
                  slot);
}

Request finishUpload(DeviceLink& link, TransferResult result, uint8_t slot, ReadAgain how) {
  if (result != TransferResult::Committed) return Request::NotSent;
  if (waitForReply(link, kChangeNotice) == WaitResult::Stopped) return Request::Stopped;
  if (how == ReadAgain::SlotName) return ask(link, buildReadSlotName(slot), kSlotName);
  link.rereadPending = 1;
  return Request::Arrived;
}

bool extractAll(DeviceLink& link, const std::wstring& folder) {
  switch (exportFactoryIrs(folder)) {
    case ExportResult::Written:
      return true;
    case ExportResult::NotEncoded:
      refuse(link);
      break;
    case ExportResult::NotWritten:
      break;
  }
  return false;
}

}  // namespace orq
