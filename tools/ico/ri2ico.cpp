// ri2ico OUT.ico IN.raw...: writes the "RI" images (premultiplied RGBA, up to 256 x 256) as one
// Windows icon file, one 32-bit entry per image, for the Windows program's icon resource. Each
// entry is a bottom-up BGRA bitmap with straight alpha and an all-clear AND mask, which every
// Windows since XP draws with its alpha.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "render/image_format.h"

namespace {

using Bytes = std::vector<uint8_t>;

void put16(Bytes& out, unsigned v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void put32(Bytes& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// The icon entry's image: BITMAPINFOHEADER (height doubled for the mask), colour rows, mask rows.
Bytes entryImage(const Bytes& ri, int w, int h) {
  const size_t maskStride = ((static_cast<size_t>(w) + 31) / 32) * 4;
  Bytes out;
  put32(out, 40);
  put32(out, static_cast<uint32_t>(w));
  put32(out, static_cast<uint32_t>(h * 2));
  put16(out, 1);
  put16(out, 32);
  put32(out, 0);  // BI_RGB
  put32(out, static_cast<uint32_t>(static_cast<size_t>(w) * h * 4 + maskStride * h));
  for (int i = 0; i < 4; ++i) put32(out, 0);
  for (int y = h - 1; y >= 0; --y) {
    for (int x = 0; x < w; ++x) {
      const uint8_t* p = ri.data() + 6 + (static_cast<size_t>(y) * w + x) * 4;
      out.push_back(orq::render::unpremultiply(p[2], p[3]));
      out.push_back(orq::render::unpremultiply(p[1], p[3]));
      out.push_back(orq::render::unpremultiply(p[0], p[3]));
      out.push_back(p[3]);
    }
  }
  out.insert(out.end(), maskStride * h, 0);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: ri2ico OUT.ico IN.raw...\n");
    return 2;
  }
  std::vector<Bytes> images;
  std::vector<int> sizes;
  for (int i = 2; i < argc; ++i) {
    std::ifstream in(argv[i], std::ios::binary);
    const Bytes ri{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const int w = ri.size() >= 6 ? ri[2] | ri[3] << 8 : 0;
    const int h = ri.size() >= 6 ? ri[4] | ri[5] << 8 : 0;
    if (ri.size() < 6 || ri[0] != 'R' || ri[1] != 'I' || w < 1 || h < 1 || w > 256 || h > 256 ||
        ri.size() != 6 + static_cast<size_t>(w) * h * 4) {
      std::fprintf(stderr, "ri2ico: %s is not an RI image of at most 256 x 256\n", argv[i]);
      return 1;
    }
    images.push_back(entryImage(ri, w, h));
    sizes.push_back(w | h << 16);
  }
  Bytes out;
  put16(out, 0);
  put16(out, 1);  // icon
  put16(out, static_cast<unsigned>(images.size()));
  uint32_t offset = static_cast<uint32_t>(6 + 16 * images.size());
  for (size_t i = 0; i < images.size(); ++i) {
    const int w = sizes[i] & 0xFFFF, h = sizes[i] >> 16;
    out.push_back(static_cast<uint8_t>(w == 256 ? 0 : w));  // 0 stands for 256
    out.push_back(static_cast<uint8_t>(h == 256 ? 0 : h));
    out.push_back(0);  // no palette
    out.push_back(0);
    put16(out, 1);   // planes
    put16(out, 32);  // bits per pixel
    put32(out, static_cast<uint32_t>(images[i].size()));
    put32(out, offset);
    offset += static_cast<uint32_t>(images[i].size());
  }
  for (const Bytes& image : images) out.insert(out.end(), image.begin(), image.end());
  std::ofstream o(argv[1], std::ios::binary);
  o.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
  if (!o.flush()) {
    std::fprintf(stderr, "ri2ico: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
