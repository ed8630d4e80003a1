// Parts of the Platform shared by every backend.
#include <cmath>
#include <utility>

#include "app/platform.h"

namespace orq {

int scaledWindowSize(float dpi, int logical) {
  return static_cast<int>(std::ceil(dpi * static_cast<float>(logical) / 96.0f));
}

Action shortcutAction(uint32_t letter, bool ctrl, bool shift) {
  if (!ctrl) return Action::None;
  if (letter >= 'a' && letter <= 'z') letter -= 'a' - 'A';
  switch (letter) {
    case 'Z':
      return shift ? Action::Redo : Action::Undo;
    case 'Y':
      return Action::Redo;
    case 'O':
      return shift ? Action::None : Action::OpenProgram;
    case 'S':
      return shift ? Action::None : Action::SaveProgram;
    default:
      return Action::None;
  }
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
