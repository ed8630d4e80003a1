// Files dragged onto the panel. A file dropped on one of the six user-slot rows goes to the
// worker as a command of its own, which imports it as the row's folder icon imports the file
// chosen in its dialog. While a file is over a row, the row's folder icon shows its hover look.
// Like pointer input, this answers only while the device is connected and idle (linkState 1),
// and works on the hit regions the last paint left.
#include <cstdint>

#include "ui/controls.h"
#include "ui/ui.h"

namespace orq {

namespace {

// The icon's place in its row: the row is the column's width, 31 units high, 4 above the icon.
constexpr int32_t kRowWidth = 250;
constexpr int32_t kRowHeight = 31;
constexpr int32_t kIconInset = 4;

// The slot 0..5 whose folder icon's highlight record `r` is, or -1.
int32_t folderSlot(const HitRegion& r) {
  return r.kind == kHover ? control::indexIn(r.id, control::kImportFolder, kSlotCount) : -1;
}

// The user slot 0..5 whose row holds the platform's pointer, or -1. Positions are device
// pixels over dpi/96 as for pointer input; a row covers its top edge, not its bottom one,
// so that neighbouring rows never share a line.
int32_t slotRowAtPointer(const Ui& ui) {
  int32_t x = 0;
  int32_t y = 0;
  ui.logicalPointer(x, y);
  for (const HitRegion& r : ui.hitRegions) {
    const int32_t slot = folderSlot(r);
    const int32_t top = r.y - kIconInset;
    if (slot >= 0 && x >= 0 && x <= kRowWidth && y >= top && y < top + kRowHeight) return slot;
  }
  return -1;
}

// Shows slot `slot`'s folder icon hovered and every other control not (slot -1: none).
void showDropTarget(Ui& ui, int32_t slot) {
  bool changed = false;
  for (HitRegion& r : ui.hitRegions) {
    const uint8_t want = slot >= 0 && folderSlot(r) == slot ? 1 : 0;
    if (r.hovered != want) {
      r.hovered = want;
      changed = true;
    }
  }
  if (changed) ui.platform->requestRepaint();
}

}  // namespace

void Ui::onDragOver() {
  if (!platform || linkState != kConnected) return;
  const int32_t slot = slotRowAtPointer(*this);
  platform->dropAccepted = slot >= 0;
  showDropTarget(*this, slot);
}

// The highlight a drag left goes with it, even when the device has turned busy meanwhile.
void Ui::onDragLeave() {
  if (!platform) return;
  bool changed = false;
  for (HitRegion& r : hitRegions) {
    if (folderSlot(r) >= 0 && r.hovered != 0) {
      r.hovered = 0;
      changed = true;
    }
  }
  if (changed) platform->requestRepaint();
}

void Ui::onDrop() {
  if (!platform) return;
  if (linkState != kConnected) {
    onDragLeave();
    return;
  }
  const int32_t slot = slotRowAtPointer(*this);
  showDropTarget(*this, -1);
  if (slot < 0 || platform->droppedFile.empty()) return;
  platform->dropAccepted = true;
  setDroppedFile(slot, platform->droppedFile);
  handOverCommand(kCommandImportFile);  // as a press on the folder icon hands over its command
}

}  // namespace orq
