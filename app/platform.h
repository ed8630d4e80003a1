// The window host: one top-level window, its events, the repaint request, the cursor and the
// drawing operations the panel paints with. No toolkit type appears here; each operating system
// supplies one backend file (platform_gtk.cpp, platform_win32.cpp; platform_offscreen.cpp for
// tests and tools), and render/render_cairo.cpp or render/render_d2d.cpp the drawing operations.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace orq {

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
};

// Modes of Platform::openFileDialog.
inline constexpr int32_t kDialogWav = 0;     // one WAV file: filter "Wave", *.wav;*.wave
inline constexpr int32_t kDialogFolder = 2;  // one folder

// Logical window size at 96 dpi; also the minimum size.
inline constexpr int kWindowWidth = 1024;
inline constexpr int kWindowHeight = 740;
inline constexpr int kTimerMs = 500;

// A stored "RI" image or "RM" mask: the bytes with their 6-byte header and the total length,
// so that a reader can refuse data whose header does not match its size.
struct ImageData {
  const uint8_t* bytes = nullptr;
  size_t size = 0;
};

// Outer window size for a dpi, rounded up as the window host does (single precision).
int scaledWindowSize(float dpi, int logical);

// Whole wheel notches in one wheel delta (120 per notch, positive away from the user),
// truncated toward zero: parts of a notch are lost, not carried.
inline int32_t wheelNotches(int32_t delta) {
  return delta / 120;
}

class Platform {
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
  void requestRepaint();
  void setHandCursor(bool hand);
  // Horizontal dots per inch of the drawing surface; 96 when there is none yet.
  float dpi() const;

  // --- File dialogs (platform_*.cpp). The worker asks and blocks until the user answers; the
  // user-interface thread keeps painting meanwhile (GTK runs the dialog there, Windows on the
  // asking thread, owned by the window).
  // Returns the chosen path (a file for kDialogWav, a folder for kDialogFolder), or an empty
  // string on cancel, on failure, and once closeDialogs has run. Never call it on the
  // user-interface thread.
  std::wstring openFileDialog(int32_t mode);
  // Shutdown: an open dialog is closed (its caller gets an empty path) and later requests are
  // answered empty at once. User-interface thread.
  void closeDialogs();
  // Delivers an event to the callback (backends and tests use this).
  void deliver(PlatformEvent event) {
    if (callback) callback(event);
  }

  // --- Drawing operations (render_cairo.cpp, render_d2d.cpp); valid only while a paint is in
  // progress.
  // Colours are 0xAARRGGBB, straight alpha. Images are "RI"/"RM" blobs including the header;
  // a null pointer, a wrong tag or a size that does not match the header draws nothing.
  void surfaceSize(int32_t& width, int32_t& height) const;
  void fillRect(int32_t x, int32_t y, int32_t width, int32_t height, int32_t radius,
                uint32_t colour);
  void setScale(float factor);
  void drawImage(int32_t x, int32_t y, int32_t width, int32_t height, ImageData image);
  void drawImagePart(int32_t sx, int32_t sy, int32_t sw, int32_t sh, int32_t dx, int32_t dy,
                     int32_t dw, int32_t dh, ImageData image);
  void drawMask(int32_t x, int32_t y, int32_t width, int32_t height, ImageData mask,
                uint32_t colour);
  // style 0, 1, 2 = 10, 11, 13 units. hAlign: 0 leading, 1 centre, other trailing.
  // vAlign: 1 top, 0 centre, other bottom. The layout box starts one unit above y.
  void drawText(int32_t x, int32_t y, int32_t width, int32_t height, uint32_t colour, int32_t style,
                int32_t hAlign, int32_t vAlign, const std::wstring& text, bool singleLine);

  // The one Platform of the process (the first constructed), or null.
  static Platform* current();

  // Backend-private state (window handle, drawing context); opaque here.
  struct Impl;
  Impl* impl = nullptr;
};

}  // namespace orq
