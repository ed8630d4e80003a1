#include "device/safety_backup.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

#include "device/file_io.h"
#include "device/librarian.h"
#include "device/settings_file.h"
#include "files/file_path.h"

namespace orq {
namespace {

namespace fs = std::filesystem;

bool digits(const std::wstring& s, size_t at, size_t count) {
  if (at + count > s.size()) return false;
  for (size_t i = at; i < at + count; ++i)
    if (s[i] < L'0' || s[i] > L'9') return false;
  return true;
}

// "2026-12-10 18.02 before " ... ".syx": one of ours, not a file the owner put there.
bool isSafetyBackup(const std::wstring& name) {
  static const std::wstring kBefore = L" before ";
  static const std::wstring kSuffix = L".syx";
  return name.size() > 24 + kSuffix.size() && digits(name, 0, 4) && name[4] == L'-' &&
         digits(name, 5, 2) && name[7] == L'-' && digits(name, 8, 2) && name[10] == L' ' &&
         digits(name, 11, 2) && name[13] == L'.' && digits(name, 14, 2) &&
         name.compare(16, kBefore.size(), kBefore) == 0 &&
         name.compare(name.size() - kSuffix.size(), kSuffix.size(), kSuffix) == 0;
}

// A name not yet taken in `folder`: two backups within a minute are "... restore.syx" and
// "... restore (2).syx".
fs::path freeName(const fs::path& folder, const std::wstring& name) {
  const std::wstring stem = name.substr(0, name.size() - 4);
  std::error_code ec;
  fs::path candidate = folder / filePath(name);
  for (int n = 2; fs::exists(candidate, ec) && n < 1000; ++n)
    candidate = folder / filePath(stem + L" (" + std::to_wstring(n) + L").syx");
  return candidate;
}

}  // namespace

std::wstring safetyBackupName(const std::tm& local, const std::string& what) {
  char stamp[32];
  if (std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H.%M", &local) == 0) stamp[0] = '\0';
  return widePath(std::string(stamp) + " before " + what + ".syx");
}

void pruneSafetyBackups(const std::wstring& folder, size_t keep) {
  struct Found {
    fs::file_time_type time;
    fs::path path;
  };
  std::vector<Found> found;
  std::error_code ec;
  for (const fs::directory_entry& e : fs::directory_iterator(filePath(folder), ec)) {
    if (!e.is_regular_file(ec) || !isSafetyBackup(pathText(e.path().filename()))) continue;
    found.push_back({e.last_write_time(ec), e.path()});
  }
  if (found.size() <= keep) return;
  // Newest first; of two written in the same instant, the later name.
  std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
    return a.time != b.time ? a.time > b.time : a.path > b.path;
  });
  for (size_t i = keep; i < found.size(); ++i) fs::remove(found[i].path, ec);
}

SafetyBackup makeSafetyBackup(DeviceLink& link, const std::wstring& folder, const std::string& what,
                              const std::function<void(int done)>& progress) {
  SafetyBackup out;
  if (folder.empty()) {
    out.error = "there is no folder for them (no home folder)";
    return out;
  }
  // The folder first: a backup that cannot be kept is not worth reading the device for.
  std::error_code ec;
  const fs::path dir = filePath(folder);
  fs::create_directories(dir, ec);
  if (!fs::is_directory(dir, ec)) {
    out.error = nativePath(folder) + " cannot be made";
    return out;
  }
  const LibrarianRun run = backUpAll(link, progress);
  if (run.stopped) {
    out.stopped = true;
    return out;
  }
  if (!run.error.empty()) {
    out.error = run.error;
    return out;
  }
  const std::time_t now = std::time(nullptr);
  const std::tm local = *std::localtime(&now);  // the worker's or orqctl's one thread
  const std::wstring path = pathText(freeName(dir, safetyBackupName(local, what)));
  if (!writeWhole(path, encodeBackup(run.programs))) {
    out.error = nativePath(path) + " cannot be written";
    return out;
  }
  out.path = path;
  pruneSafetyBackups(folder, kSafetyBackupsKept);
  return out;
}

}  // namespace orq
