// The recording canvas.
#include "render/paint_trace.h"

namespace orq::render {

PaintOp& PaintTrace::record(PaintOp::Kind kind, int32_t x, int32_t y, int32_t w, int32_t h) {
  PaintOp& op = ops.emplace_back();
  op.kind = kind;
  op.x = x;
  op.y = y;
  op.width = w;
  op.height = h;
  return op;
}

void PaintTrace::surfaceSize(int32_t& w, int32_t& h) const {
  if (next) {
    next->surfaceSize(w, h);
  } else {
    w = width;
    h = height;
  }
}

void PaintTrace::fillRect(int32_t x, int32_t y, int32_t w, int32_t h, int32_t radius,
                          uint32_t colour) {
  PaintOp& op = record(PaintOp::Kind::Fill, x, y, w, h);
  op.radius = radius;
  op.colour = colour;
  if (next) next->fillRect(x, y, w, h, radius, colour);
}

void PaintTrace::setScale(float factor) {
  record(PaintOp::Kind::Scale, 0, 0, 0, 0).scale = factor;
  if (next) next->setScale(factor);
}

void PaintTrace::drawImage(int32_t x, int32_t y, int32_t w, int32_t h, ImageData image) {
  record(PaintOp::Kind::Image, x, y, w, h).data = image.bytes;
  if (next) next->drawImage(x, y, w, h, image);
}

void PaintTrace::drawImagePart(int32_t sx, int32_t sy, int32_t sw, int32_t sh, int32_t dx,
                               int32_t dy, int32_t dw, int32_t dh, ImageData image) {
  PaintOp& op = record(PaintOp::Kind::ImagePart, dx, dy, dw, dh);
  op.sx = sx;
  op.sy = sy;
  op.sw = sw;
  op.sh = sh;
  op.data = image.bytes;
  if (next) next->drawImagePart(sx, sy, sw, sh, dx, dy, dw, dh, image);
}

void PaintTrace::drawMask(int32_t x, int32_t y, int32_t w, int32_t h, ImageData mask,
                          uint32_t colour) {
  PaintOp& op = record(PaintOp::Kind::Mask, x, y, w, h);
  op.colour = colour;
  op.data = mask.bytes;
  if (next) next->drawMask(x, y, w, h, mask, colour);
}

void PaintTrace::drawText(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t colour,
                          int32_t style, int32_t hAlign, int32_t vAlign, const std::wstring& text,
                          bool singleLine) {
  PaintOp& op = record(PaintOp::Kind::Text, x, y, w, h);
  op.colour = colour;
  op.style = style;
  op.hAlign = hAlign;
  op.vAlign = vAlign;
  op.text = text;
  op.singleLine = singleLine;
  if (next) next->drawText(x, y, w, h, colour, style, hAlign, vAlign, text, singleLine);
}

}  // namespace orq::render
