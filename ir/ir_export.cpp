#include "ir/ir_export.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <vector>

#include "files/file_path.h"
#include "ir/catalogue.h"
#include "ir/ir_file.h"

namespace orq {
namespace {

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

ExportResult exportFactoryIrs(const std::wstring& folder) {
  if (folder.empty()) return ExportResult::Written;
  std::vector<uint8_t> image;
  for (int i = 0; i < kFactoryIrCount; ++i) {
    const FactoryIr& entry = factoryIr(i);
    const IrSamples ir = blobSamples(entry.blob);
    if (!encodeIrFile(ir.data, ir.count, image)) return ExportResult::NotEncoded;
    // The separator is added even after a folder that ends with one; the file system does not
    // mind the doubled separator.
    if (!writeWhole(folder + L"/" + entry.name + L".wav", image)) return ExportResult::NotWritten;
  }
  return ExportResult::Written;
}

}  // namespace orq
