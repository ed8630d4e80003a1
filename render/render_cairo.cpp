// Drawing operations of the Platform over Cairo and Pango. (Minimal until the full layer lands.)
#include "render/render_cairo.h"

#include "app/platform.h"

namespace orq {
namespace {
cairo_t* gCr = nullptr;
cairo_matrix_t gBaseMatrix;
int32_t gWidth = 0;
int32_t gHeight = 0;

void setColour(cairo_t* cr, uint32_t c) {
  cairo_set_source_rgba(cr, ((c >> 16) & 0xFF) / 255.0, ((c >> 8) & 0xFF) / 255.0,
                        (c & 0xFF) / 255.0, ((c >> 24) & 0xFF) / 255.0);
}
}  // namespace

namespace render {
void paintFrame(Platform& platform, cairo_t* cr, double logicalWidth, double logicalHeight) {
  cairo_save(cr);
  cairo_get_matrix(cr, &gBaseMatrix);
  gCr = cr;
  gWidth = static_cast<int32_t>(logicalWidth);
  gHeight = static_cast<int32_t>(logicalHeight);
  platform.deliver(PlatformEvent::Paint);
  gCr = nullptr;
  cairo_restore(cr);
}
}  // namespace render

void Platform::surfaceSize(int32_t& width, int32_t& height) const {
  width = gWidth;
  height = gHeight;
}

void Platform::fillRect(int32_t x, int32_t y, int32_t width, int32_t height, int32_t,
                        uint32_t colour) {
  if (!gCr) return;
  setColour(gCr, colour);
  cairo_rectangle(gCr, x, y, width, height);
  cairo_fill(gCr);
}

void Platform::setScale(float) {}
void Platform::drawImage(int32_t, int32_t, int32_t, int32_t, ImageData) {}
void Platform::drawImagePart(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                             int32_t, ImageData) {}
void Platform::drawMask(int32_t, int32_t, int32_t, int32_t, ImageData, uint32_t) {}
void Platform::drawText(int32_t, int32_t, int32_t, int32_t, uint32_t, int32_t, int32_t, int32_t,
                        const std::wstring&, bool) {}

}  // namespace orq
