// Window-less backend for tests and tools: no window, no loop; repaint requests and cursor
// changes are counted so that a test can see them. Paint through render/offscreen.h.
#pragma once

namespace orq::offscreen {

void setDpi(float dpi);          // what Platform::dpi() reports; 96 at start
int repaintRequests();           // requests since start (any thread)
void resetRepaintRequests();
bool handCursor();               // last cursor shape set
int cursorChanges();             // number of setHandCursor calls

}  // namespace orq::offscreen
