// The editor's small files (program files, backups) read whole, and written whole or not at
// all: through a temporary file beside the target and a rename, so that a failed write never
// leaves half a file or replaces a good one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orq {

// Larger files are refused unread: no file of the editor's is near this size.
inline constexpr uintmax_t kLargestSysexFile = 1 << 20;

// The whole file; otherwise false and `error` names it ("weekly.syx cannot be read").
bool readWhole(const std::wstring& path, std::vector<uint8_t>& bytes, std::string& error);
// False when the file could not be written; `path` then holds what it held before.
bool writeWhole(const std::wstring& path, const std::vector<uint8_t>& bytes);

// The file-name part of `path` as UTF-8, as messages name files.
std::string utf8Name(const std::wstring& path);

}  // namespace orq
