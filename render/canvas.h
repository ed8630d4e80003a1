// The drawing surface the paint pass draws on: the handful of operations the panel needs.
// Backends implement it over Cairo and Pango (render_cairo.cpp) or Direct2D and DirectWrite
// (render_d2d.cpp) for one frame at a time; the paint trace (paint_trace.h) records it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "render/image_format.h"

namespace orq::render {

// Text styles, 10, 11 and 13 units; any other style draws nothing.
enum TextStyle : int32_t { kSmall = 0, kMedium = 1, kLarge = 2 };
// Horizontal alignment in the text box: any value other than the first two is trailing.
enum HAlign : int32_t { kLeading = 0, kCentre = 1, kTrailing = 2 };
// Vertical alignment in the text box: any value other than the first two is bottom.
enum VAlign : int32_t { kMiddle = 0, kTop = 1, kBottom = 2 };

// Coordinates are logical units (96 per inch) under the current scale. Colours are 0xAARRGGBB,
// straight alpha. Images are "RI"/"RM" blobs including the header; a null pointer, a wrong tag
// or a size that does not match the header draws nothing.
class Canvas {
 public:
  virtual ~Canvas() = default;

  // The surface size in logical units, truncated.
  virtual void surfaceSize(int32_t& width, int32_t& height) const = 0;
  // A rectangle; radius <= 0 gives aliased square corners, a positive radius rounded,
  // anti-aliased ones (each axis clamped to half its side).
  virtual void fillRect(int32_t x, int32_t y, int32_t width, int32_t height, int32_t radius,
                        uint32_t colour) = 0;
  // Scales what follows by `factor` about the origin (1: no scaling; not cumulative).
  virtual void setScale(float factor) = 0;
  virtual void drawImage(int32_t x, int32_t y, int32_t width, int32_t height, ImageData image) = 0;
  virtual void drawImagePart(int32_t sx, int32_t sy, int32_t sw, int32_t sh, int32_t dx, int32_t dy,
                             int32_t dw, int32_t dh, ImageData image) = 0;
  virtual void drawMask(int32_t x, int32_t y, int32_t width, int32_t height, ImageData mask,
                        uint32_t colour) = 0;
  // The layout box starts one unit above y. Multi-line text wraps at words; what overflows the
  // box ends in an ellipsis.
  virtual void drawText(int32_t x, int32_t y, int32_t width, int32_t height, uint32_t colour,
                        int32_t style, int32_t hAlign, int32_t vAlign, const std::wstring& text,
                        bool singleLine) = 0;
};

// What a backend calls with its canvas for one frame.
using PaintFunction = std::function<void(Canvas&)>;

}  // namespace orq::render
