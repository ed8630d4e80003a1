// "RI"/"RM" readers and the conversions the Cairo backend needs from them.
#include "render/image_format.h"

#include <algorithm>
#include <cstring>

namespace orq::render {
namespace {

bool readTagged(ImageData data, uint8_t tag, size_t bytesPerPixel, ImageView& out) {
  if (!data.bytes || data.size < kImageHeaderSize) return false;
  if (data.bytes[0] != 'R' || data.bytes[1] != tag) return false;
  const size_t width = data.bytes[2] | (data.bytes[3] << 8);
  const size_t height = data.bytes[4] | (data.bytes[5] << 8);
  if (width == 0 || height == 0) return false;
  if (data.size - kImageHeaderSize != width * height * bytesPerPixel) return false;
  out.width = static_cast<int32_t>(width);
  out.height = static_cast<int32_t>(height);
  out.pixels = data.bytes + kImageHeaderSize;
  return true;
}

}  // namespace

bool readColourImage(ImageData data, ImageView& out) {
  return readTagged(data, 'I', 4, out);
}

bool readMask(ImageData data, ImageView& out) {
  return readTagged(data, 'M', 1, out);
}

void copyToPremultipliedArgb(const ImageView& image, uint8_t* dst, size_t strideBytes) {
  const uint8_t* src = image.pixels;
  for (int32_t y = 0; y < image.height; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(dst + static_cast<size_t>(y) * strideBytes);
    for (int32_t x = 0; x < image.width; ++x, src += 4) {
      const uint32_t a = src[3];
      const uint32_t r = std::min<uint32_t>(src[0], a);
      const uint32_t g = std::min<uint32_t>(src[1], a);
      const uint32_t b = std::min<uint32_t>(src[2], a);
      row[x] = (a << 24) | (r << 16) | (g << 8) | b;
    }
  }
}

void copyMaskRows(const ImageView& mask, uint8_t* dst, size_t strideBytes) {
  const size_t width = static_cast<size_t>(mask.width);
  for (int32_t y = 0; y < mask.height; ++y) {
    std::memcpy(dst + static_cast<size_t>(y) * strideBytes, mask.pixels + y * width, width);
  }
}

Rgba decodeColour(uint32_t colour) {
  return Rgba{((colour >> 16) & 0xFF) / 255.0, ((colour >> 8) & 0xFF) / 255.0,
              (colour & 0xFF) / 255.0, ((colour >> 24) & 0xFF) / 255.0};
}

}  // namespace orq::render
