// Offscreen drawing target over a Cairo image surface.
#include "render/offscreen.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>

#include "render/image_format.h"
#include "render/render_cairo.h"

namespace orq::render {

struct OffscreenSurface::Target {
  cairo_surface_t* surface = nullptr;
};

OffscreenSurface::OffscreenSurface(int32_t logicalWidth, int32_t logicalHeight, float dpi)
    : logicalWidth_(logicalWidth), logicalHeight_(logicalHeight), scale_(dpi / 96.0) {
  const auto w = static_cast<int>(std::ceil(logicalWidth * scale_));
  const auto h = static_cast<int>(std::ceil(logicalHeight * scale_));
  target_ = new Target{cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h)};
  cairo_surface_set_device_scale(target_->surface, scale_, scale_);
}

OffscreenSurface::~OffscreenSurface() {
  cairo_surface_destroy(target_->surface);
  delete target_;
}

void OffscreenSurface::paint(const PaintFunction& paint) {
  cairo_t* cr = cairo_create(target_->surface);
  paintFrame(cr, logicalWidth_, logicalHeight_, paint);
  cairo_destroy(cr);
  cairo_surface_flush(target_->surface);
}

void OffscreenSurface::clear(uint32_t colour) {
  cairo_t* cr = cairo_create(target_->surface);
  const Rgba c = decodeColour(colour);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_set_source_rgba(cr, c.red, c.green, c.blue, c.alpha);
  cairo_paint(cr);
  cairo_destroy(cr);
  cairo_surface_flush(target_->surface);
}

int32_t OffscreenSurface::pixelWidth() const {
  return cairo_image_surface_get_width(target_->surface);
}
int32_t OffscreenSurface::pixelHeight() const {
  return cairo_image_surface_get_height(target_->surface);
}

uint32_t OffscreenSurface::pixel(int32_t x, int32_t y) const {
  if (x < 0 || y < 0 || x >= pixelWidth() || y >= pixelHeight()) return 0;
  const uint8_t* row = cairo_image_surface_get_data(target_->surface) +
                       static_cast<size_t>(y) * cairo_image_surface_get_stride(target_->surface);
  return straightArgb(reinterpret_cast<const uint32_t*>(row)[x]);
}

bool OffscreenSurface::writePng(const std::string& path) const {
  return cairo_surface_write_to_png(target_->surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
}

}  // namespace orq::render
