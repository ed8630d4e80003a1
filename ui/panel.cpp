// The paint pass. (Placeholder until the panel lands: fills the window with the background.)
#include "ui/ui.h"

namespace orq {

void Ui::paint() {
  int32_t w = 0, h = 0;
  platform->surfaceSize(w, h);
  platform->fillRect(0, 0, w, h, 0, 0xFF030303);
}

void Ui::addRegion(const HitRegion& region) {
  for (HitRegion& r : hitRegions) {
    if (r.id == region.id && r.kind == region.kind) {
      r.x = region.x;
      r.y = region.y;
      r.width = region.width;
      r.height = region.height;
      return;
    }
  }
  HitRegion added = region;
  added.hovered = 0;
  hitRegions.push_back(added);
}

bool Ui::isHovered(uint32_t id) const {
  for (const HitRegion& r : hitRegions) {
    if (r.id == id && r.kind == 2) return r.hovered != 0;
  }
  return false;
}

}  // namespace orq
