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
// Sysex files (filter "System exclusive", *.syx): one to open, or a name to save under (the
// dialog asks before replacing a file, and adds .syx to a name without it).
inline constexpr int32_t kDialogOpenSysex = 3;
inline constexpr int32_t kDialogSaveSysex = 4;

class LinkHost {
 public:
  // Asks for one repaint of the panel. Any thread, never blocks; requests coalesce.
  virtual void requestRepaint() = 0;
  // Blocks the asking thread (never the user-interface one) until the user has chosen; returns
  // the path, or an empty string on cancel or failure.
  virtual std::wstring openFileDialog(int32_t mode) = 0;
  // A modal box owned by the window, blocking the asking thread the same way. With `confirm`
  // set, the box asks (buttons Cancel and `confirm`, its mnemonic marked with '&', e.g.
  // "&Restore") and returns true when confirmed; with `confirm` empty it tells (one button, OK)
  // and returns false. `message` is UTF-8.
  virtual bool confirm(const std::string& message, const std::string& confirm) = 0;

 protected:
  ~LinkHost() = default;
};

}  // namespace orq
