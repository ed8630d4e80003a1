// What the panel knows of the window it lives in, and all it includes of it: the kinds of event
// it is handed, the input record the window fills in before handing one over (the pointer, the
// wheel, the action of a key or a menu, a dragged file), the canvas of a paint, and the few things
// the panel asks of the window (a repaint, the cursor shape, the dpi, a menu, the backups folder).
// The window host implements it (app/platform.h, one backend per system), as an immediate-mode
// core knows only its input record and the backends fill it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace orq {

namespace render {
class Canvas;
}

// The kind of an event handed to the Ui. Positions and wheel totals are read from its host.
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
  Action = 12,  // a shortcut key or a menu choice: UiHost::action says which
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

// One entry of the panel's menu; a choice is delivered as PlatformEvent::Action.
struct MenuItem {
  std::string label;     // UTF-8, without mnemonics
  std::string shortcut;  // shown beside the label ("Ctrl+Z"), or empty
  Action action = Action::None;
  bool enabled = true;
};

class UiHost {
 public:
  // --- The input record; user-interface thread only. The host writes it before it delivers an
  // event, the panel reads it (and consumes the wheel total, and answers a drag).
  std::function<void(PlatformEvent)> callback;  // set once by the Ui; empty: events dropped
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
  // The canvas of the paint being delivered (PlatformEvent::Paint); null outside a paint.
  render::Canvas* canvas() const { return canvas_; }

  // --- What the panel asks of the window. User-interface thread, but for requestRepaint.
  // One paint of the whole window: any thread, never blocks; requests made before the paint
  // happens coalesce into one.
  virtual void requestRepaint() = 0;
  virtual void setHandCursor(bool hand) = 0;
  // Horizontal dots per inch of the drawing surface; 96 when there is none yet.
  virtual float dpi() const = 0;
  // Shows `items` as a menu at the pointer; a choice comes back as PlatformEvent::Action.
  virtual void popupMenu(const std::vector<MenuItem>& items) = 0;
  // Shows the folder of the safety backups in the system's file manager.
  virtual void openBackupsFolder() = 0;

 protected:
  ~UiHost() = default;
  render::Canvas* canvas_ = nullptr;  // set by the host around a Paint
};

}  // namespace orq
