// A canvas that records the operations of a paint, for tests and tools that need to know what
// was drawn (texts, colours, rectangles) independently of fonts and rasterising. Each operation
// is recorded and then passed on to the next canvas, when there is one, so that a trace can
// sit in front of a real surface.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "render/canvas.h"

namespace orq::render {

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

class PaintTrace final : public Canvas {
 public:
  // With no next canvas the surface is `width` x `height` logical units.
  explicit PaintTrace(Canvas* next = nullptr, int32_t width = 0, int32_t height = 0)
      : next(next), width(width), height(height) {}

  std::vector<PaintOp> ops;
  Canvas* next;
  int32_t width;
  int32_t height;

  void surfaceSize(int32_t& w, int32_t& h) const override;
  void fillRect(int32_t x, int32_t y, int32_t w, int32_t h, int32_t radius,
                uint32_t colour) override;
  void setScale(float factor) override;
  void drawImage(int32_t x, int32_t y, int32_t w, int32_t h, ImageData image) override;
  void drawImagePart(int32_t sx, int32_t sy, int32_t sw, int32_t sh, int32_t dx, int32_t dy,
                     int32_t dw, int32_t dh, ImageData image) override;
  void drawMask(int32_t x, int32_t y, int32_t w, int32_t h, ImageData mask,
                uint32_t colour) override;
  void drawText(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t colour, int32_t style,
                int32_t hAlign, int32_t vAlign, const std::wstring& text, bool singleLine) override;

 private:
  PaintOp& record(PaintOp::Kind kind, int32_t x, int32_t y, int32_t w, int32_t h);
};

}  // namespace orq::render
