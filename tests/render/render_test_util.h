// Helpers shared by the rendering tests: raw "RI"/"RM" blobs made in place, an offscreen
// surface painted through its canvas, and the bounding box of what was drawn.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "render/offscreen.h"

namespace orq::test {

inline std::vector<uint8_t> blob(char tag, int w, int h, size_t bytesPerPixel) {
  std::vector<uint8_t> b{'R',
                         static_cast<uint8_t>(tag),
                         static_cast<uint8_t>(w & 0xFF),
                         static_cast<uint8_t>(w >> 8),
                         static_cast<uint8_t>(h & 0xFF),
                         static_cast<uint8_t>(h >> 8)};
  b.resize(6 + static_cast<size_t>(w) * h * bytesPerPixel);
  return b;
}

// "RI" blob; `pixel(x, y)` returns 0xAARRGGBB straight alpha, stored premultiplied R, G, B, A.
inline std::vector<uint8_t> colourImage(int w, int h,
                                        const std::function<uint32_t(int, int)>& pixel) {
  auto b = blob('I', w, h, 4);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const uint32_t c = pixel(x, y);
      const uint32_t a = c >> 24;
      uint8_t* p = &b[6 + (static_cast<size_t>(y) * w + x) * 4];
      p[0] = static_cast<uint8_t>(((c >> 16) & 0xFF) * a / 255);
      p[1] = static_cast<uint8_t>(((c >> 8) & 0xFF) * a / 255);
      p[2] = static_cast<uint8_t>((c & 0xFF) * a / 255);
      p[3] = static_cast<uint8_t>(a);
    }
  }
  return b;
}

inline std::vector<uint8_t> mask(int w, int h, const std::function<uint8_t(int, int)>& cover) {
  auto b = blob('M', w, h, 1);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) b[6 + static_cast<size_t>(y) * w + x] = cover(x, y);
  }
  return b;
}

inline render::ImageData data(const std::vector<uint8_t>& b) {
  return render::ImageData{b.data(), b.size()};
}

// An offscreen surface that `paint` draws on with `draw`.
struct Target {
  explicit Target(int w = 200, int h = 120, float dpi = 96.0f) : surface(w, h, dpi) {}
  void paint(const render::PaintFunction& draw) { surface.paint(draw); }
  uint32_t at(int x, int y) const { return surface.pixel(x, y); }
  static uint32_t alpha(uint32_t p) { return p >> 24; }

  render::OffscreenSurface surface;
};

// Bounding box (device pixels, inclusive) of pixels whose alpha exceeds `threshold`.
struct Box {
  int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
  bool empty() const { return right < left; }
  int width() const { return right - left + 1; }
  int height() const { return bottom - top + 1; }
  double centreX() const { return (left + right + 1) / 2.0; }
  double centreY() const { return (top + bottom + 1) / 2.0; }
};

inline Box inkBox(const Target& c, uint32_t threshold = 40, int x0 = 0, int y0 = 0,
                  int x1 = 1 << 30, int y1 = 1 << 30) {
  Box b;
  x1 = std::min(x1, c.surface.pixelWidth());
  y1 = std::min(y1, c.surface.pixelHeight());
  for (int y = y0; y < y1; ++y) {
    for (int x = x0; x < x1; ++x) {
      if (Target::alpha(c.at(x, y)) > threshold) {
        b.left = std::min(b.left, x);
        b.right = std::max(b.right, x);
        b.top = std::min(b.top, y);
        b.bottom = std::max(b.bottom, y);
      }
    }
  }
  return b;
}

}  // namespace orq::test
