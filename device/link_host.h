// What the device worker asks of the program it runs in: a repaint after it changed what the
// panel shows, and a file or folder chosen by the user. The editor's Platform answers; orqctl and
// most tests run a link without one (no repaint, every choice cancelled).
#pragma once

#include <cstdint>
#include <string>

namespace orq {

// Modes of LinkHost::openFileDialog.
inline constexpr int32_t kDialogWav = 0;     // one WAV file: filter "Wave", *.wav;*.wave
inline constexpr int32_t kDialogFolder = 2;  // one folder

class LinkHost {
 public:
  // Asks for one repaint of the panel. Any thread, never blocks; requests coalesce.
  virtual void requestRepaint() = 0;
  // Blocks the asking thread (never the user-interface one) until the user has chosen; returns
  // the path, or an empty string on cancel or failure.
  virtual std::wstring openFileDialog(int32_t mode) = 0;

 protected:
  ~LinkHost() = default;
};

}  // namespace orq
