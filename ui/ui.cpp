// Construction of the editor object (the catalogue as the panel shows it) and the event entry.
// The paint pass lives in panel.cpp, pointer input in input.cpp; the state record it extends is
// state/editor_state.cpp.
#include "ui/ui.h"

#include "ir/catalogue.h"

namespace orq {
namespace {
Ui* gUi = nullptr;
}  // namespace

Ui* Ui::current() {
  return gUi;
}

Ui::Ui(UiHost* p) : platform(p), seenResets_(deviceResets.get()) {
  gUi = this;
  if (platform) {
    platform->callback = [this](PlatformEvent event) { onEvent(event); };
  }
  for (int i = 0; i < kCatalogueSize; ++i) {
    const FactoryIr& ir = factoryIr(i);
    catalogue[i].mainFlag = i < 3 ? 1 : 0;
    catalogue[i].blob = ir.blob;
    catalogue[i].name = ir.name;
    catalogue[i].description = ir.description;
  }
}

Ui::~Ui() {
  if (platform) platform->callback = nullptr;
  if (gUi == this) gUi = nullptr;
}

void Ui::followDeviceReset() {
  const int32_t resets = deviceResets.get();
  if (resets == seenResets_) return;
  seenResets_ = resets;
  browserSlot = 0;
  ccListOpen = 0;
  browserListMode = 0;
  catalogueIndex = 0;
}

void Ui::onEvent(PlatformEvent event) {
  followDeviceReset();
  switch (event) {
    case PlatformEvent::Paint:
      if (platform && platform->canvas()) paint(*platform->canvas());
      break;
    case PlatformEvent::MouseMove:
      onPointerMove();
      break;
    case PlatformEvent::LeftDown:
      onLeftDown();
      break;
    case PlatformEvent::Wheel:
      onWheel();
      break;
    case PlatformEvent::DragOver:
      onDragOver();
      break;
    case PlatformEvent::DragLeave:
      onDragLeave();
      break;
    case PlatformEvent::Drop:
      onDrop();
      break;
    case PlatformEvent::RightDown:
      onRightDown();
      break;
    case PlatformEvent::Action:
      if (platform) onAction(platform->action);
      break;
    default:
      break;
  }
}

}  // namespace orq
