// The window host: one top-level window, its events, the repaint request, the cursor, and the
// canvas (render/canvas.h) each paint draws on. No toolkit type appears here; each operating
// system supplies one backend file (platform_gtk.cpp, platform_win32.cpp; platform_offscreen.cpp
// for tests and tools), and render/render_cairo.cpp or render/render_d2d.cpp the canvas.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "device/link_host.h"  // the repaint and the file dialogs, as the device worker asks

namespace orq {

namespace render {
class Canvas;
}

// The kind of an event handed to the Ui. Positions and wheel totals are read from the Platform.
enum class PlatformEvent : int32_t {
  Paint = 0,
  Activate = 1,
  MouseMove = 2,
  LeftDown = 3,
  LeftUp = 4,
  RightDown = 5,
  RightUp = 6,
  Wheel = 7,
  Timer = 8,
  // A file dragged over the window, taken away again, and dropped (dragOver and friends).
  DragOver = 9,
  DragLeave = 10,
  Drop = 11,
  Action = 12,  // a shortcut key or a menu choice: Platform::action says which
};

// What the editor's shortcut keys and its panel menu ask for.
enum class Action : int32_t {
  None = 0,
  Undo = 1,
  Redo = 2,
  OpenProgram = 3,
  SaveProgram = 4,
  BackUpAll = 5,
  RestoreAll = 6,
  OpenBackupsFolder = 7,
};

// The action of a key pressed with Ctrl held (a letter, either case), or None: Ctrl+Z undoes,
// Ctrl+Shift+Z and Ctrl+Y redo, Ctrl+O and Ctrl+S open and save a program. Both backends ask
// this, so the keys are the same on every system.
Action shortcutAction(uint32_t letter, bool ctrl, bool shift);

// One entry of the panel's menu; a choice is delivered as PlatformEvent::Action.
struct MenuItem {
  std::string label;     // UTF-8, without mnemonics
  std::string shortcut;  // shown beside the label ("Ctrl+Z"), or empty
  Action action = Action::None;
  bool enabled = true;
};

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

class Platform final : public LinkHost {
 public:
  Platform(std::string title, std::string identifier);
  ~Platform();
  Platform(const Platform&) = delete;
  Platform& operator=(const Platform&) = delete;

  // --- Fields; everything below is touched only by the user-interface thread unless noted.
  std::function<void(PlatformEvent)> callback;  // set once by the Ui; empty: events dropped
  std::string title;                            // "Tarvik Editor"
  std::string identifier;                       // "com.tarvik.editor"
  bool running = false;                         // the loop continues while set

  // Last pointer position in device pixels and the accumulated wheel notches.
  int32_t pointerX = 0;
  int32_t pointerY = 0;
  int32_t wheelTotal = 0;
  // The action of the last PlatformEvent::Action.
  Action action = Action::None;

  // A file dragged onto the window: the dropped file's path while a Drop is delivered, and the
  // Ui's answer to the last DragOver or Drop (whether the panel takes a file there).
  std::wstring droppedFile;
  bool dropAccepted = false;

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
  void setHandCursor(bool hand);
  // Horizontal dots per inch of the drawing surface; 96 when there is none yet.
  float dpi() const;
  // Shows `items` as a native menu at the pointer; a choice is delivered as
  // PlatformEvent::Action (GTK later, from the loop; Windows before this returns, from the
  // menu's own loop). User-interface thread.
  void popupMenu(const std::vector<MenuItem>& items);
  // Shows the folder of the safety backups (app/user_folders.h) in the system's file manager,
  // making it first when it is missing; says so in a box when it cannot. User-interface thread.
  void openBackupsFolder();
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
  render::Canvas* canvas() const { return canvas_; }

  // The one Platform of the process (the first constructed), or null.
  static Platform* current();

  // Backend-private state (window handle, drawing context); opaque here.
  struct Impl;
  Impl* impl = nullptr;

 private:
  render::Canvas* canvas_ = nullptr;
};

}  // namespace orq
