// A recording of the drawing operations of one paint, for tests and tools that need to know
// what the panel drew (texts, colours, rectangles) independently of fonts and rasterising.
// While a trace is installed the paint pass appends every operation to it before drawing.
// User-interface thread only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orq {

struct PaintOp {
  enum class Kind : uint8_t { Fill, Text, Mask, Image, ImagePart, Scale };
  Kind kind = Kind::Fill;
  int32_t x = 0, y = 0, width = 0, height = 0;  // destination rectangle
  int32_t sx = 0, sy = 0, sw = 0, sh = 0;       // source rectangle (ImagePart)
  int32_t radius = 0;                           // Fill
  uint32_t colour = 0;                          // Fill, Text, Mask
  int32_t style = 0, hAlign = 0, vAlign = 0;    // Text
  bool singleLine = false;                      // Text
  float scale = 1.0f;                           // Scale
  const uint8_t* data = nullptr;                // Mask, Image, ImagePart: the blob drawn
  std::wstring text;                            // Text
};

struct PaintTrace {
  std::vector<PaintOp> ops;
};

// Installs `trace` (null: stop recording). The caller keeps it alive while installed.
void setPaintTrace(PaintTrace* trace);
PaintTrace* paintTrace();

}  // namespace orq
