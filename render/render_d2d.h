// The Direct2D and DirectWrite canvas, for the Windows window host and the Windows offscreen
// target. Windows-only: the shared code never includes it.
#pragma once

#include <d2d1.h>
#include <windows.h>

#include <cstdint>

#include "render/canvas.h"

namespace orq::render {

// The process's Direct2D factory, single-threaded, made once when the Platform is constructed
// and kept for the run. Null when it could not be made.
ID2D1Factory* createD2dFactory();
ID2D1Factory* d2dFactory();

// --- The window's drawing surface (user-interface thread).
// The paint entry: makes the surface on `window` and the drawing resources when there are none,
// calls `paint` with a canvas for one frame, and when the frame ends with the device lost
// releases them all, to be made again by the next paint. Draws nothing while the surface or
// the brush cannot be made.
void paintWindow(HWND window, const PaintFunction& paint);
void resizeWindowSurface(uint32_t pixelWidth, uint32_t pixelHeight);  // nothing without one
void setWindowSurfaceDpi(float dpi);                                  // both axes
float windowSurfaceDpi();  // horizontal dpi of the surface; 0 when there is none
void releaseWindowSurface();
// How many window surfaces have been made in this process (a device loss makes one more).
int windowSurfacesMade();
// Makes the next frame of the window end as if the graphics device had been lost, so that the
// recovery can be exercised without a driver that fails on demand. Tests only.
void loseDeviceAtNextFrame();

// --- Any other render target (the offscreen target): one frame of `paint` with a brush of its
// own and the process's text styles. Returns what EndDraw returned, or the error that kept the
// frame from starting.
HRESULT paintTarget(ID2D1RenderTarget* target, const PaintFunction& paint);

// The font family the text styles use on this machine: "Segoe UI Semibold" where it is
// installed, else the first of a few near faces that is (Wine has no Segoe UI).
const wchar_t* textFamily();

}  // namespace orq::render
