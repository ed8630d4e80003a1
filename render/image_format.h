// Readers for the program's two raw picture formats: "RI" colour images (R, G, B, A, colour
// premultiplied) and "RM" coverage masks, plus the colour word decoding. Pure byte code: no
// toolkit types, so every backend shares it and tests can pin every byte.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orq::render {

inline constexpr size_t kImageHeaderSize = 6;

// A stored "RI" image or "RM" mask: the bytes with their 6-byte header and the total length,
// so that a reader can refuse data whose header does not match its size.
struct ImageData {
  const uint8_t* bytes = nullptr;
  size_t size = 0;
};

// A checked view of a stored image: width x height pixels following the header, rows top to
// bottom without padding (4 bytes per pixel for "RI", 1 for "RM").
struct ImageView {
  int32_t width = 0;
  int32_t height = 0;
  const uint8_t* pixels = nullptr;
};

// Accept only data that carries the right tag and whose length is exactly header plus pixels;
// anything else (null, short, long, the other format's tag) is refused with false. An image
// with no pixels (a zero side) is refused too, since there is nothing to draw.
bool readColourImage(ImageData data, ImageView& out);  // "RI"
bool readMask(ImageData data, ImageView& out);         // "RM"

// Copies an "RI" view into 32-bit words 0xAARRGGBB, colour premultiplied (the layout of Cairo's
// ARGB32 in native byte order). `strideBytes` is the destination row pitch. A colour component
// above its alpha (not valid premultiplied data) is clamped to the alpha so that compositing
// cannot overflow.
void copyToPremultipliedArgb(const ImageView& image, uint8_t* dst, size_t strideBytes);

// Copies an "RM" view into one byte per pixel rows of `strideBytes` pitch.
void copyMaskRows(const ImageView& mask, uint8_t* dst, size_t strideBytes);

// One colour component of premultiplied data back to straight alpha, rounded to nearest: 0 where
// alpha is 0, at most 255 (a component above its alpha is not valid premultiplied data).
// Inline, so that build tools can use it without the library.
inline constexpr uint8_t unpremultiply(uint32_t component, uint32_t alpha) {
  if (alpha == 0) return 0;
  const uint32_t v = (component * 255 + alpha / 2) / alpha;
  return static_cast<uint8_t>(v > 255 ? 255 : v);
}

// A premultiplied word 0xAARRGGBB as the same word with straight alpha (0 when transparent).
inline constexpr uint32_t straightArgb(uint32_t p) {
  const uint32_t a = p >> 24;
  if (a == 0) return 0;
  return (a << 24) | (uint32_t{unpremultiply((p >> 16) & 0xFF, a)} << 16) |
         (uint32_t{unpremultiply((p >> 8) & 0xFF, a)} << 8) | unpremultiply(p & 0xFF, a);
}

// A colour word 0xAARRGGBB as straight-alpha components in 0..1.
struct Rgba {
  double red = 0;
  double green = 0;
  double blue = 0;
  double alpha = 0;
};
Rgba decodeColour(uint32_t colour);

}  // namespace orq::render
