// The owner's own folders, as each system names them: one file per operating system
// (user_folders_posix.cpp, user_folders_win32.cpp).
#pragma once

#include <string>

namespace orq {

// Where the editor and orqctl keep the safety backups made before all programs are replaced:
// $XDG_DATA_HOME/orq-editor/backups (~/.local/share/orq-editor/backups when XDG_DATA_HOME is
// unset or not absolute), or %LOCALAPPDATA%\ORQ Editor\Backups on Windows. Empty when the system
// names no such place (no HOME, no LOCALAPPDATA). Read afresh on every call; not created here.
std::wstring safetyBackupFolder();

}  // namespace orq
