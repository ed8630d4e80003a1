// The owner's folders as Windows names them: local (not roaming) application data.
#include <cstdlib>
#include <string>

#include "files/user_folders.h"

namespace orq {

std::wstring safetyBackupFolder() {
  // The wide environment: a user name outside the ANSI code page stays whole.
  const wchar_t* local = _wgetenv(L"LOCALAPPDATA");
  if (!local || !local[0]) return {};
  return std::wstring(local) + L"\\ORQ Editor\\Backups";
}

}  // namespace orq
