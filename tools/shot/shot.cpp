// orq-shot OUT_DIR: writes one PNG per named state into OUT_DIR, for looking at what the
// program shows without a display. Each state is a row of the table in main(); add rows (and,
// if needed, a new kind of writer) to show more.
#include <cairo.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "assets/assets.h"

namespace {

using orq::ImageData;

// An "RI" image as a Cairo surface; Cairo's ARGB32 is premultiplied 0xAARRGGBB words, so the
// R, G, B, A bytes only need repacking.
cairo_surface_t* surfaceOf(ImageData image) {
  int w = image.bytes[2] | (image.bytes[3] << 8);
  int h = image.bytes[4] | (image.bytes[5] << 8);
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  unsigned char* data = cairo_image_surface_get_data(s);
  int stride = cairo_image_surface_get_stride(s);
  const uint8_t* p = image.bytes + 6;
  for (int y = 0; y < h; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(data + static_cast<size_t>(y) * stride);
    for (int x = 0; x < w; ++x, p += 4)
      row[x] = (uint32_t{p[3]} << 24) | (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
  }
  cairo_surface_mark_dirty(s);
  return s;
}

// Copies the part (x, y, w, h) of an overlay onto the same place of the target, as the panel
// does with its patches.
void paste(cairo_t* cr, ImageData overlay, int x, int y, int w, int h) {
  cairo_surface_t* s = surfaceOf(overlay);
  cairo_save(cr);
  cairo_rectangle(cr, x, y, w, h);
  cairo_clip(cr);
  cairo_set_source_surface(cr, s, 0, 0);
  cairo_paint(cr);
  cairo_restore(cr);
  cairo_surface_destroy(s);
}

// The device picture of one model with its switches and LEDs, as the panel shows it.
struct DeviceState {
  int model = 0;
  int ir1 = 0, ir2 = 0;  // IR-select switch positions 0..2 of channel 1 and 2
  bool linked = false;   // LEDs are drawn only while a device is connected
  int channel = 0;       // 0 = channel 1, 1 = channel 2
  bool boost = false;
};

bool writeDevice(const DeviceState& st, const std::string& path) {
  cairo_surface_t* target = surfaceOf(orq::assets::devicePicture(st.model));
  cairo_t* cr = cairo_create(target);
  bool light = st.model != 0;
  if (st.ir1 == 1 || st.ir1 == 2) paste(cr, orq::assets::switchOverlay(light, st.ir1), 182, 231, 40, 40);
  if (st.ir2 == 1 || st.ir2 == 2) paste(cr, orq::assets::switchOverlay(light, st.ir2), 182, 430, 40, 40);
  if (st.linked) {
    int ly = st.channel == 0 ? 105 : 305;
    paste(cr, orq::assets::blueLedOverlay(), 190, ly, 25, 25);
    if (st.boost) paste(cr, orq::assets::redLedOverlay(), 787, ly, 25, 25);
  }
  cairo_destroy(cr);
  bool ok = cairo_surface_write_to_png(target, path.c_str()) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(target);
  return ok;
}

struct Shot {
  std::string name;  // file name without ".png"
  std::function<bool(const std::string& path)> write;
};

Shot device(std::string name, DeviceState st) {
  return {std::move(name), [st](const std::string& path) { return writeDevice(st, path); }};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: orq-shot OUT_DIR\n");
    return 2;
  }
  std::string dir = argv[1];

  std::vector<Shot> shots;
  for (int m = 0; m < 3; ++m) {
    std::string p = "device_" + std::to_string(m);
    shots.push_back(device(p, {.model = m}));
    shots.push_back(device(p + "_ir_pos1", {.model = m, .ir1 = 1, .ir2 = 1}));
    shots.push_back(device(p + "_ir_pos2", {.model = m, .ir1 = 2, .ir2 = 2}));
    shots.push_back(device(p + "_ch1_lit", {.model = m, .ir1 = 0, .ir2 = 1, .linked = true}));
    shots.push_back(device(p + "_ch1_boost", {.model = m, .ir1 = 2, .ir2 = 0, .linked = true,
                                              .channel = 0, .boost = true}));
    shots.push_back(device(p + "_ch2_boost", {.model = m, .ir1 = 1, .ir2 = 2, .linked = true,
                                              .channel = 1, .boost = true}));
  }

  int failures = 0;
  for (const Shot& s : shots) {
    std::string path = dir + "/" + s.name + ".png";
    if (!s.write(path)) {
      std::fprintf(stderr, "orq-shot: cannot write %s\n", path.c_str());
      ++failures;
    }
  }
  std::printf("orq-shot: %zu of %zu shots written to %s\n", shots.size() - failures, shots.size(),
              dir.c_str());
  return failures == 0 ? 0 : 1;
}
