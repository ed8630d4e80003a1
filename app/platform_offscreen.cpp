// Window-less Platform for tests and tools.
#include "app/platform_offscreen.h"

#include <atomic>

#include "app/platform.h"

namespace orq {

struct Platform::Impl {};

namespace {
Platform* gPlatform = nullptr;
std::atomic<float> gDpi{96.0f};
std::atomic<int> gRepaints{0};
std::atomic<bool> gHand{false};
std::atomic<int> gCursorChanges{0};
}  // namespace

namespace offscreen {
void setDpi(float dpi) { gDpi = dpi; }
int repaintRequests() { return gRepaints; }
void resetRepaintRequests() { gRepaints = 0; }
bool handCursor() { return gHand; }
int cursorChanges() { return gCursorChanges; }
}  // namespace offscreen

Platform* Platform::current() { return gPlatform; }

Platform::Platform(std::string t, std::string id) : title(std::move(t)), identifier(std::move(id)) {
  if (!gPlatform) gPlatform = this;
}

Platform::~Platform() {
  callback = nullptr;
  if (gPlatform == this) gPlatform = nullptr;
}

bool Platform::hasWindow() const { return false; }
void Platform::show() {}
void Platform::runLoop() { running = true; }
void Platform::requestRepaint() { ++gRepaints; }
void Platform::setHandCursor(bool hand) {
  gHand = hand;
  ++gCursorChanges;
}
float Platform::dpi() const { return gDpi; }

}  // namespace orq
