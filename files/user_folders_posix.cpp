// The owner's folders under the XDG base directory rules.
#include <cstdlib>
#include <string>

#include "files/file_path.h"
#include "files/user_folders.h"

namespace orq {

std::wstring safetyBackupFolder() {
  std::string data;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && xdg[0] == '/') {
    data = xdg;
  } else if (const char* home = std::getenv("HOME"); home && home[0] == '/') {
    data = std::string(home) + "/.local/share";
  } else {
    return {};
  }
  return widePath(data + "/orq-editor/backups");
}

}  // namespace orq
