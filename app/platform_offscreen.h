// Window-less backend for tests and tools: no window, no loop; repaint requests and cursor
// changes are counted so that a test can see them. Paints go to a render/offscreen.h surface.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orq {
class Platform;
namespace render {
class OffscreenSurface;
}
}  // namespace orq

namespace orq::offscreen {

// One paint of `platform` (its callback draws) into `surface`.
void paint(render::OffscreenSurface& surface, Platform& platform);

void setDpi(float dpi);  // what Platform::dpi() reports; 96 at start
int repaintRequests();   // requests since start (any thread)
void resetRepaintRequests();
bool handCursor();         // last cursor shape set
int cursorChanges();       // number of setHandCursor calls
int backupsFolderShown();  // number of openBackupsFolder calls

// File dialogs answer from a queue: each openFileDialog takes the next answer (empty when the
// queue is empty) and records its mode.
void queueDialogAnswer(const std::wstring& path);
std::vector<int32_t> dialogModes();  // modes asked for, oldest first
void resetDialogs();                 // empties the queue and the record

}  // namespace orq::offscreen
