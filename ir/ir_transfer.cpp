#include "ir/ir_transfer.h"

#include <filesystem>
#include <fstream>
#include <vector>

#include "app/file_path.h"
#include "device/device_link.h"
#include "device/protocol.h"
#include "ir/catalogue.h"
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

// Writes `bytes` to `path` through a temporary file next to it. False, with the temporary file
// removed, when any step fails.
bool writeWhole(const std::wstring& path, const std::vector<uint8_t>& bytes) {
  const std::filesystem::path file = filePath(path);
  std::filesystem::path part = file;
  part += ".part";
  bool written = false;
  {
    std::ofstream out(part, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    written = !out.fail();
  }
  std::error_code error;
  if (written) {
    std::filesystem::rename(part, file, error);
    if (!error) return true;
  }
  std::filesystem::remove(part, error);
  return false;
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

bool extractAll(DeviceLink& link, const std::wstring& folder) {
  if (folder.empty()) return true;
  std::vector<uint8_t> image;
  for (int i = 0; i < kCatalogueSize; ++i) {
    const FactoryIr& entry = factoryIr(i);
    const IrSamples ir = blobSamples(entry.blob);
    if (!encodeIrFile(ir.data, ir.count, image)) {
      refuse(link);
      return false;
    }
    // The separator is added even after a folder that ends with one; the file system does not
    // mind the doubled separator.
    if (!writeWhole(folder + L"/" + entry.name + L".wav", image)) return false;
  }
  return true;
}

}  // namespace orq
