// The Cairo/Pango canvas. Backends hand it a cairo context whose
// user space is in logical units (the device scale already maps them to pixels); the matrix the
// context has at frame start is the base that setScale multiplies.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <string>

#include "render/canvas.h"

namespace orq::render {

// One paint: calls `paint` with a canvas over `cr` whose surface size is the logical size given
// (truncated). The context's state (matrix, clip, source) is as it was when this returns.
void paintFrame(cairo_t* cr, double logicalWidth, double logicalHeight, const PaintFunction& paint);

// Decoded images are kept per stored blob (keyed by its address and length) for the whole run,
// which suits the embedded pictures. Code that frees or rewrites image data it has drawn calls
// this before drawing other data at the same address. UI thread only.
void clearImageCache();
int cachedImageCount();

// The face that text style 0, 1 or 2 actually resolves to on this machine.
struct ResolvedFace {
  std::string family;
  int weight = 0;    // 400 regular, 600 semibold, 700 bold
  double size = 0;   // logical units
  std::string file;  // the font file, where the font machinery tells it
};
ResolvedFace resolvedFace(int32_t style);

}  // namespace orq::render
