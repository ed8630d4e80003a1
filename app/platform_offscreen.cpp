// Window-less Platform for tests and tools.
#include "app/platform_offscreen.h"

#include <atomic>
#include <deque>
#include <mutex>

#include "app/platform.h"
#include "render/offscreen.h"

namespace orq {

struct Platform::Impl {};

namespace {
Platform* gPlatform = nullptr;
std::atomic<float> gDpi{96.0f};
std::atomic<int> gRepaints{0};
std::atomic<bool> gHand{false};
std::atomic<int> gCursorChanges{0};
std::atomic<int> gFoldersShown{0};

std::mutex gDialogMutex;
std::deque<std::wstring> gDialogAnswers;  // guarded by gDialogMutex
std::vector<int32_t> gDialogModes;        // guarded by gDialogMutex
bool gDialogsClosed = false;              // guarded by gDialogMutex
}  // namespace

namespace offscreen {
void paint(render::OffscreenSurface& surface, Platform& platform) {
  surface.paint([&platform](render::Canvas& canvas) { platform.paint(canvas); });
}
void setDpi(float dpi) {
  gDpi = dpi;
}
int repaintRequests() {
  return gRepaints;
}
void resetRepaintRequests() {
  gRepaints = 0;
}
bool handCursor() {
  return gHand;
}
int cursorChanges() {
  return gCursorChanges;
}
int backupsFolderShown() {
  return gFoldersShown;
}

void queueDialogAnswer(const std::wstring& path) {
  std::lock_guard<std::mutex> lock(gDialogMutex);
  gDialogAnswers.push_back(path);
}
std::vector<int32_t> dialogModes() {
  std::lock_guard<std::mutex> lock(gDialogMutex);
  return gDialogModes;
}
void resetDialogs() {
  std::lock_guard<std::mutex> lock(gDialogMutex);
  gDialogAnswers.clear();
  gDialogModes.clear();
  gDialogsClosed = false;
}
}  // namespace offscreen

std::wstring commandLineFile(int, char**) {
  return {};
}

Platform* Platform::current() {
  return gPlatform;
}

Platform::Platform(std::string t, std::string id) : title(std::move(t)), identifier(std::move(id)) {
  if (!gPlatform) gPlatform = this;
}

Platform::~Platform() {
  callback = nullptr;
  if (gPlatform == this) gPlatform = nullptr;
}

bool Platform::hasWindow() const {
  return false;
}
void Platform::show() {}
void Platform::runLoop() {
  running = true;
}
void Platform::requestRepaint() {
  ++gRepaints;
}
void Platform::setHandCursor(bool hand) {
  gHand = hand;
  ++gCursorChanges;
}
float Platform::dpi() const {
  return gDpi;
}

std::wstring Platform::openFileDialog(int32_t mode) {
  std::lock_guard<std::mutex> lock(gDialogMutex);
  gDialogModes.push_back(mode);
  if (gDialogsClosed || gDialogAnswers.empty()) return {};
  std::wstring answer = std::move(gDialogAnswers.front());
  gDialogAnswers.pop_front();
  return answer;
}

void Platform::openBackupsFolder() {
  ++gFoldersShown;
}

// No window to show a menu or a box in: the menu is dropped, every question cancelled.
void Platform::popupMenu(const std::vector<MenuItem>&) {}

bool Platform::confirm(const std::string&, const std::string&) {
  return false;
}

void Platform::closeDialogs() {
  std::lock_guard<std::mutex> lock(gDialogMutex);
  gDialogsClosed = true;
}

}  // namespace orq
