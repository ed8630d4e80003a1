// A window-less drawing target: an image of a logical size at a dpi, painted through the same
// paint entry the window uses (Cairo image surface on Linux, WIC bitmap on Windows). Tests read
// its pixels, tools save it as PNG.
#pragma once

#include <cstdint>
#include <string>

#include "render/canvas.h"

namespace orq::render {

class OffscreenSurface {
 public:
  // Device pixels are the logical size times dpi / 96, rounded up; starts fully transparent.
  OffscreenSurface(int32_t logicalWidth, int32_t logicalHeight, float dpi = 96.0f);
  ~OffscreenSurface();
  OffscreenSurface(const OffscreenSurface&) = delete;
  OffscreenSurface& operator=(const OffscreenSurface&) = delete;

  // One paint at the logical size: `paint` draws on the canvas it is handed.
  void paint(const PaintFunction& paint);
  // Replaces every pixel with a colour 0xAARRGGBB (0: transparent).
  void clear(uint32_t colour);

  int32_t pixelWidth() const;
  int32_t pixelHeight() const;
  int32_t logicalWidth() const { return logicalWidth_; }
  int32_t logicalHeight() const { return logicalHeight_; }
  double scale() const { return scale_; }
  // Pixel at device coordinates as 0xAARRGGBB with straight alpha; 0 outside the surface.
  uint32_t pixel(int32_t x, int32_t y) const;
  bool writePng(const std::string& path) const;

 private:
  struct Target;  // the backend's image and what it draws with
  int32_t logicalWidth_;
  int32_t logicalHeight_;
  double scale_;
  Target* target_;
};

}  // namespace orq::render
