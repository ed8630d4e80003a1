// The editor object: the panel over the editor state record (state/editor_state.h). It paints
// from the record and writes the panel's requests into it; the device worker writes the rest.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "state/editor_state.h"
#include "ui/ui_host.h"

namespace orq {

// One factory IR. mainFlag is rewritten by every paint (UI thread only).
struct CatalogueEntry {
  std::wstring name;
  std::wstring description;
  int32_t mainFlag = 0;
  const uint8_t* blob = nullptr;  // "RW" blob, static data
};

// A clickable rectangle left by the last paint: a control id and a RegionKind (ui/controls.h).
struct HitRegion {
  uint32_t id = 0;
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
  int32_t kind = 0;
  uint8_t hovered = 0;
};

// The panel's own fields are touched by the user-interface thread only.
class Ui : public EditorState {
 public:
  explicit Ui(UiHost* platform);
  ~Ui();
  Ui(const Ui&) = delete;
  Ui& operator=(const Ui&) = delete;

  std::array<CatalogueEntry, kCatalogueSize> catalogue;  // filled once; mainFlag by U
  UiHost* platform;                                      // the window (not owned)
  std::vector<HitRegion> hitRegions;                     // U only
  uint32_t accentColour = 0xFFD2AE66;                    // U only, set by every paint

  // The one entry from the window host.
  void onEvent(PlatformEvent event);

  // Panel (panel.cpp): the paint pass, drawing on `canvas`, and the hit-region list it leaves
  // behind. Region ids and kinds are named in ui/controls.h.
  void paint(render::Canvas& canvas);
  void addRegion(const HitRegion& region);
  bool isHovered(uint32_t id) const;

  // Pointer input (input.cpp).
  void onPointerMove();
  void onLeftDown();
  void onWheel();
  // The platform's pointer in logical units: device pixels over dpi/96 (the horizontal factor
  // serves both axes), truncated toward zero.
  void logicalPointer(int32_t& x, int32_t& y) const;
  // Publishes a worker command and holds this thread long enough for the worker to take it
  // before the next input can overwrite it.
  void handOverCommand(int32_t code);

  // Files dragged onto the panel (drop.cpp): a WAV file dropped on a user-slot row is imported
  // into that slot as its folder icon imports a chosen one.
  void onDragOver();
  void onDragLeave();
  void onDrop();

  // Undo, the shortcut keys and the panel's menu (undo_menu.cpp).
  void onAction(Action action);
  void onRightDown();
  // The menu as it stands for the program shown: Undo naming its step, greyed when empty.
  std::vector<MenuItem> menuItems();
  // Records the change a press on `id` made to the program shown, from `before`; with the
  // history's lock held since `before` was read.
  void recordStep(int32_t shownProgram, uint32_t id, const SettingsValues& before);
  // Asks the worker to undo (redo) the newest step of the program shown; false when there is
  // none.
  bool undoOrRedo(bool undo);

  // The one Ui of the process, or null.
  static Ui* current();

 private:
  // Closes the browser and the CC list and selects the first catalogue entry when the device's
  // fields were reset since the last event (another device, or none).
  void followDeviceReset();
  int32_t seenResets_ = 0;  // U only: deviceResets as this thread last acted on it
};

}  // namespace orq
