// Construction of the editor state, the device-field reset, the slot-name hand-off and the
// event entry. The paint pass lives in panel.cpp, pointer input in input.cpp.
#include "ui/ui.h"

#include <utility>

#include "ir/catalogue.h"

namespace orq {
namespace {
Ui* gUi = nullptr;
}  // namespace

Ui* Ui::current() { return gUi; }

Ui::Ui(Platform* p) : platform(p) {
  gUi = this;
  resetDeviceFields();
  if (platform) {
    platform->callback = [this](PlatformEvent event) { onEvent(event); };
  }
  linkState = kNoDevice;
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

std::wstring Ui::slotName(int slot) const {
  if (slot < 0 || slot >= kSlotCount) return {};
  std::lock_guard<std::mutex> lock(slotNamesMutex_);
  return slotNames_[slot];
}

void Ui::setSlotName(int slot, std::wstring name) {
  if (slot < 0 || slot >= kSlotCount) return;
  std::lock_guard<std::mutex> lock(slotNamesMutex_);
  slotNames_[slot].swap(name);  // the old string is released outside the paint's view
}

void Ui::resetDeviceFields() {
  for (auto& row : programBlocks) {
    for (auto& word : row) word = 0;
  }
  for (int s = 0; s < kSlotCount; ++s) setSlotName(s, {});
  deviceFirmwareVersion = 0;
  imageFirmwareVersion = 0;
  modelKind = 0;
  program = 0;
  midiChannel = 0;
  boostLock = 0;
  browserSlot = 0;
  ccListOpen = 0;
  browserListMode = 0;
  catalogueIndex = 0;
  statusCode = kStatusIdle;
}

void Ui::onEvent(PlatformEvent event) {
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
    default:
      break;
  }
}

}  // namespace orq
