#include "device/file_io.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "files/file_path.h"

namespace orq {

std::string utf8Name(const std::wstring& path) {
  return nativePath(fileName(path));
}

bool readWhole(const std::wstring& path, std::vector<uint8_t>& bytes, std::string& error) {
  std::error_code ec;
  const std::filesystem::path fsPath = filePath(path);
  const uintmax_t size = std::filesystem::file_size(fsPath, ec);
  if (ec || !std::filesystem::is_regular_file(fsPath, ec)) {
    error = utf8Name(path) + " cannot be read";
    return false;
  }
  if (size > kLargestSysexFile) {
    error = utf8Name(path) + " is " + std::to_string(size) + " bytes long, far too long";
    return false;
  }
  std::ifstream in(fsPath, std::ios::binary);
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof()) {
    error = utf8Name(path) + " cannot be read";
    return false;
  }
  return true;
}

bool writeWhole(const std::wstring& path, const std::vector<uint8_t>& bytes) {
  const std::filesystem::path target = filePath(path);
  std::filesystem::path part = target;
  part += ".part";
  {
    std::ofstream out(part, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      std::error_code ec;
      std::filesystem::remove(part, ec);
      return false;
    }
  }
  std::error_code ec;
  std::filesystem::rename(part, target, ec);  // replaces an older file, on Windows too
  if (ec) std::filesystem::remove(part, ec);
  return !ec;
}

}  // namespace orq
