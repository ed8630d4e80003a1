// Parts of the Platform shared by every backend.
#include <cmath>

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

}  // namespace orq
