// The window host: one top-level window, its events, the repaint request, the cursor, and the
// canvas (render/canvas.h) each paint draws on. It is the panel's host (ui/ui_host.h: the events
// and the input record the panel knows) and the device worker's (device/link_host.h: repaints,
// file dialogs and message boxes). No toolkit type appears here; each operating system supplies
// one backend file (platform_gtk.cpp, platform_win32.cpp; platform_offscreen.cpp for tests and
// tools), and render/render_cairo.cpp or render/render_d2d.cpp the canvas.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "device/link_host.h"  // the repaint and the file dialogs, as the device worker asks
#include "ui/ui_host.h"        // the events, the input record and the requests of the panel

namespace orq {

// The action of a key pressed with Ctrl held (a letter, either case), or None: Ctrl+Z undoes,
// Ctrl+Shift+Z and Ctrl+Y redo, Ctrl+O and Ctrl+S open and save a program. Both backends ask
// this, so the keys are the same on every system.
Action shortcutAction(uint32_t letter, bool ctrl, bool shift);

// Logical window size at 96 dpi; also the minimum size.
inline constexpr int kWindowWidth = 1024;
inline constexpr int kWindowHeight = 740;
inline constexpr int kTimerMs = 500;

// The file the editor was started with (its first argument: a double-click on a .syx file
// starts it so), as an absolute path; empty when there is none. Windows reads it from the wide
// command line, where argv would have lost every character outside the ANSI code page; the
// window-less backend has no command line.
std::wstring commandLineFile(int argc, char** argv);

// Outer window size for a dpi, rounded up as the window host does (single precision).
int scaledWindowSize(float dpi, int logical);

// Whole wheel notches in one wheel delta (120 per notch, positive away from the user),
// truncated toward zero: parts of a notch are lost, not carried.
inline int32_t wheelNotches(int32_t delta) {
  return delta / 120;
}

class Platform final : public LinkHost, public UiHost {
 public:
  Platform(std::string title, std::string identifier);
  ~Platform();
  Platform(const Platform&) = delete;
  Platform& operator=(const Platform&) = delete;

  // --- Fields; everything below is touched only by the user-interface thread unless noted. The
  // input record the panel reads (pointer, wheel, action, dropped file) is UiHost's.
  std::string title;       // "Tarvik Editor"
  std::string identifier;  // "com.tarvik.editor"
  bool running = false;    // the loop continues while set

  // --- Files dragged onto the window (platform_common.cpp), for the backends: positions in
  // device pixels, as pointerX and pointerY hold them. Each returns the panel's answer; a drop
  // ends the drag (no dragLeave follows).
  bool dragOver(int32_t x, int32_t y);
  void dragLeave();
  bool dropFile(int32_t x, int32_t y, std::wstring path);

  // --- Window host (platform_*.cpp)
  bool hasWindow() const;
  void show();     // shows the window and paints it once
  void runLoop();  // sets running and dispatches events until a close request clears it
  // Asks for one paint of the whole window. Callable from any thread, never blocks; requests
  // made before the paint happens coalesce into one.
  void requestRepaint() override;
  void setHandCursor(bool hand) override;
  // Horizontal dots per inch of the drawing surface; 96 when there is none yet.
  float dpi() const override;
  // A native menu at the pointer; a choice is delivered as PlatformEvent::Action (GTK later,
  // from the loop; Windows before this returns, from the menu's own loop).
  void popupMenu(const std::vector<MenuItem>& items) override;
  // The folder of the safety backups (files/user_folders.h) in the system's file manager, made
  // first when it is missing; a box says so when it cannot be shown.
  void openBackupsFolder() override;
  // The modal box of LinkHost::confirm; like openFileDialog, never on the user-interface
  // thread, and answered false at once after closeDialogs.
  bool confirm(const std::string& message, const std::string& confirm) override;

  // --- File dialogs (platform_*.cpp). The worker asks and blocks until the user answers; the
  // user-interface thread keeps painting meanwhile (GTK runs the dialog there, Windows on the
  // asking thread, owned by the window).
  // Returns the chosen path (a file for kDialogWav, a folder for kDialogFolder), or an empty
  // string on cancel, on failure, and once closeDialogs has run. Never call it on the
  // user-interface thread.
  std::wstring openFileDialog(int32_t mode) override;
  // Shutdown: an open dialog is closed (its caller gets an empty path) and later requests are
  // answered empty at once. User-interface thread.
  void closeDialogs();
  // Delivers an event to the callback (backends and tests use this).
  void deliver(PlatformEvent event) {
    if (callback) callback(event);
  }

  // --- Painting. A backend calls paint() with the canvas of one frame; it delivers
  // PlatformEvent::Paint, during which canvas() is that canvas. Outside a paint it is null.
  // User-interface thread.
  void paint(render::Canvas& canvas);

  // The one Platform of the process (the first constructed), or null.
  static Platform* current();

  // Backend-private state (window handle, drawing context); opaque here.
  struct Impl;
  Impl* impl = nullptr;
};

}  // namespace orq
