// orq-shot OUT_DIR: writes one PNG per named state into OUT_DIR, for looking at what the
// program shows without a display. Each state is a row of the table in main(); add rows (and,
// if needed, a new kind of writer) to show more.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/platform.h"
#include "assets/assets.h"
#include "render/canvas.h"
#include "render/offscreen.h"
#include "tools/shot/panel_shots.h"

namespace {

using orq::Platform;
using orq::render::Canvas;
using orq::render::ImageData;

constexpr uint32_t kBackground = 0xFF030303;  // the panel's window colour
constexpr uint32_t kLabel = 0xFFBEBEBE;

struct Shot {
  std::string name;  // file name without ".png"
  std::function<bool(Platform& platform, const std::string& path)> write;
};

// A shot drawn with the canvas operations into a w x h offscreen surface.
Shot canvas(std::string name, int w, int h, orq::render::PaintFunction draw) {
  return {std::move(name), [w, h, draw](Platform&, const std::string& path) {
            orq::render::OffscreenSurface surface(w, h);
            surface.paint(draw);
            return surface.writePng(path);
          }};
}

// The device picture of one model with its switches and LEDs, drawn as the panel draws it
// (at scale 1 and origin 0, 0).
struct DeviceState {
  int model = 0;
  int ir1 = 0, ir2 = 0;  // IR-select switch positions 0..2 of channel 1 and 2
  bool linked = false;   // LEDs are drawn only while a device is connected
  int channel = 0;       // 0 = channel 1, 1 = channel 2
  bool boost = false;
};

void drawDevice(Canvas& p, const DeviceState& st) {
  namespace assets = orq::assets;
  p.fillRect(0, 0, 1000, 850, 0, kBackground);
  p.drawImage(0, 0, 1000, 850, assets::devicePicture(st.model));
  bool light = st.model != 0;
  if (st.ir1 == 1 || st.ir1 == 2)
    p.drawImagePart(182, 231, 40, 40, 182, 231, 40, 40, assets::switchOverlay(light, st.ir1));
  if (st.ir2 == 1 || st.ir2 == 2)
    p.drawImagePart(182, 430, 40, 40, 182, 430, 40, 40, assets::switchOverlay(light, st.ir2));
  if (st.linked) {
    int ly = st.channel == 0 ? 105 : 305;
    p.drawImagePart(190, ly, 25, 25, 190, ly, 25, 25, assets::blueLedOverlay());
    if (st.boost) p.drawImagePart(787, ly, 25, 25, 787, ly, 25, 25, assets::redLedOverlay());
  }
}

Shot device(std::string name, DeviceState st) {
  return canvas(std::move(name), 1000, 850, [st](Canvas& p) { drawDevice(p, st); });
}

// Every mask at the size the panel draws it, in the label colour on the window colour, and
// once more at its stored size below.
void drawMasks(Canvas& p) {
  namespace assets = orq::assets;
  struct M {
    ImageData data;
    int w, h;  // drawn size
  };
  const M masks[] = {
      {assets::makerLogo(), 107, 25},     {assets::wordMark(), 93, 9},
      {assets::leftArrow(), 11, 11},      {assets::rightArrow(), 11, 11},
      {assets::midiConnector(), 23, 23},  {assets::waveform(), 23, 23},
      {assets::folder(), 23, 23},         {assets::plus(), 23, 23},
      {assets::plug(), 23, 23},           {assets::lowpassCurve(1), 48, 20},
      {assets::lowpassCurve(2), 48, 20},  {assets::lowpassCurve(3), 48, 20},
  };
  p.fillRect(0, 0, 1000, 120, 0, kBackground);
  int x = 10;
  for (const M& m : masks) {
    int sw = m.data.bytes[2] | (m.data.bytes[3] << 8);
    int sh = m.data.bytes[4] | (m.data.bytes[5] << 8);
    p.drawMask(x, 10, m.w, m.h, m.data, kLabel);
    p.drawMask(x, 50, sw, sh, m.data, kLabel);
    x += std::max(m.w, sw) + 12;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: orq-shot OUT_DIR\n");
    return 2;
  }
  std::string dir = argv[1];
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) {
    std::fprintf(stderr, "orq-shot: cannot create %s: %s\n", dir.c_str(), ec.message().c_str());
    return 1;
  }

  std::vector<Shot> shots;
  shots.push_back(canvas("masks", 1000, 120, drawMasks));
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

  for (const orq::shot::PanelShot& ps : orq::shot::panelShots()) {
    shots.push_back({ps.name, [ps](Platform& platform, const std::string& path) {
                       return orq::shot::writePanelShot(platform, ps, path);
                     }});
  }

  Platform platform("Tarvik Editor", "com.tarvik.editor");
  size_t failures = 0;
  for (const Shot& s : shots) {
    std::string path = dir + "/" + s.name + ".png";
    if (!s.write(platform, path)) {
      std::fprintf(stderr, "orq-shot: cannot write %s\n", path.c_str());
      ++failures;
    }
  }
  std::printf("orq-shot: %zu of %zu shots written to %s\n", shots.size() - failures, shots.size(),
              dir.c_str());
  return failures == 0 ? 0 : 1;
}
