// Nothing of the owner's lost: before anything replaces all 128 programs (a restore, a firmware
// update), the programs the device holds are read into a backup file of the usual format in the
// owner's data folder (files/user_folders.h), named by the date, the time and what was about to
// happen: "2026-12-10 18.02 before restore.syx". The newest kSafetyBackupsKept are kept. The
// caller starts the overwrite only when the backup was written.
#pragma once

#include <cstddef>
#include <ctime>
#include <functional>
#include <string>

#include "device/device_link.h"

namespace orq {

inline constexpr size_t kSafetyBackupsKept = 20;

// `path` is the file written; otherwise it is empty and `error` says why (the device did not
// answer, the folder cannot be written), or `stopped` that the link was interrupted.
struct SafetyBackup {
  std::wstring path;
  std::string error;
  bool stopped = false;
};

// Reads every program (progress told as for backUpAll) and writes them into `folder`, made when
// missing, as "<date> <time> before <what>.syx" ("restore", "firmware update"); then prunes the
// folder's safety backups to the newest kSafetyBackupsKept.
SafetyBackup makeSafetyBackup(DeviceLink& link, const std::wstring& folder, const std::string& what,
                              const std::function<void(int done)>& progress);

// The file name for `local` time: "2026-12-10 18.02 before restore.syx".
std::wstring safetyBackupName(const std::tm& local, const std::string& what);

// Removes the oldest of the safety backups in `folder` (files named as safetyBackupName names
// them; nothing else there is touched) until `keep` are left.
void pruneSafetyBackups(const std::wstring& folder, size_t keep);

}  // namespace orq
