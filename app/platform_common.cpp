// Parts of the Platform shared by every backend.
#include <cmath>
#include <utility>

#include "app/platform.h"

namespace orq {

int scaledWindowSize(float dpi, int logical) {
  return static_cast<int>(std::ceil(dpi * static_cast<float>(logical) / 96.0f));
}

void Platform::paint(render::Canvas& canvas) {
  render::Canvas* const outer = canvas_;
  canvas_ = &canvas;
  deliver(PlatformEvent::Paint);
  canvas_ = outer;
}

bool Platform::dragOver(int32_t x, int32_t y) {
  pointerX = x;
  pointerY = y;
  dropAccepted = false;
  deliver(PlatformEvent::DragOver);
  return dropAccepted;
}

void Platform::dragLeave() {
  deliver(PlatformEvent::DragLeave);
}

bool Platform::dropFile(int32_t x, int32_t y, std::wstring path) {
  pointerX = x;
  pointerY = y;
  dropAccepted = false;
  droppedFile = std::move(path);
  deliver(PlatformEvent::Drop);
  droppedFile.clear();
  return dropAccepted;
}

}  // namespace orq
