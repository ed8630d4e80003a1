// Cost of the drawing operations the panel repeats every paint, on an offscreen 1024 x 740
// surface: the 1000 x 850 device picture (scaled as in the smallest window, and at natural
// size), a 46 x 46 icon mask drawn at 23 x 23, and a medium-style text line.
#include <benchmark/benchmark.h>

#include <functional>
#include <string>
#include <vector>

#include "app/platform.h"
#include "render/canvas.h"
#include "render/offscreen.h"
#include "render/render_cairo.h"
#include "tests/render/render_test_util.h"

namespace orq {
namespace {

// A device-like picture: opaque body with gradients, transparent margins (premultiplied).
const std::vector<uint8_t>& picture() {
  static const std::vector<uint8_t> img = [] {
    auto b = test::blob('I', 1000, 850, 4);
    for (int y = 0; y < 850; ++y) {
      for (int x = 0; x < 1000; ++x) {
        uint8_t* p = &b[6 + (static_cast<size_t>(y) * 1000 + x) * 4];
        const bool inside = x > 40 && x < 960 && y > 60 && y < 800;
        const uint8_t a = inside ? 255 : 0;
        p[0] = static_cast<uint8_t>((x * 255 / 1000) * a / 255);
        p[1] = static_cast<uint8_t>((y * 255 / 850) * a / 255);
        p[2] = static_cast<uint8_t>(((x + y) & 0xFF) * a / 255);
        p[3] = a;
      }
    }
    return b;
  }();
  return img;
}

const std::vector<uint8_t>& iconMask() {
  static const std::vector<uint8_t> m = [] {
    auto b = test::blob('M', 46, 46, 1);
    for (int y = 0; y < 46; ++y) {
      for (int x = 0; x < 46; ++x) {
        const int dx = x - 23, dy = y - 23;
        b[6 + y * 46 + x] = dx * dx + dy * dy < 400 ? 255 : 0;
      }
    }
    return b;
  }();
  return m;
}

// Runs the benchmark loop inside one paint of a 1024 x 740 offscreen surface.
void inPaint(benchmark::State& state, const std::function<void(render::Canvas&)>& draw) {
  render::OffscreenSurface surface(kWindowWidth, kWindowHeight);
  surface.paint([&](render::Canvas& canvas) {
    for (auto _ : state) draw(canvas);
  });
}

render::ImageData data(const std::vector<uint8_t>& b) {
  return render::ImageData{b.data(), b.size()};
}

void BM_DrawPictureScaled(benchmark::State& state) {
  // Smallest window: R = min(624 / 1000, 590 / 850) = 0.624, picture centred as the panel does.
  const float r = 0.624f;
  const int px = static_cast<int>(static_cast<int>((1024 - 250 - r * 1000) * 0.5f + 250) / r);
  const int py = static_cast<int>(static_cast<int>((740 - 90 - r * 850) * 0.5f + 90) / r);
  inPaint(state, [&](render::Canvas& p) {
    p.setScale(r);
    p.drawImage(px, py, 1000, 850, data(picture()));
    p.setScale(1);
  });
}
BENCHMARK(BM_DrawPictureScaled)->Unit(benchmark::kMicrosecond);

void BM_DrawPictureNatural(benchmark::State& state) {
  inPaint(state, [&](render::Canvas& p) { p.drawImage(12, -55, 1000, 850, data(picture())); });
}
BENCHMARK(BM_DrawPictureNatural)->Unit(benchmark::kMicrosecond);

// What every picture draw would cost without the decoded-image cache.
void BM_DrawPictureScaledUncached(benchmark::State& state) {
  inPaint(state, [&](render::Canvas& p) {
    render::clearImageCache();
    p.setScale(0.624f);
    p.drawImage(400, 140, 1000, 850, data(picture()));
    p.setScale(1);
  });
}
BENCHMARK(BM_DrawPictureScaledUncached)->Unit(benchmark::kMicrosecond);

// One switch patch: a 40 x 40 part of an overlay picture under the picture's scale.
void BM_DrawPicturePart(benchmark::State& state) {
  inPaint(state, [&](render::Canvas& p) {
    p.setScale(0.624f);
    p.drawImagePart(182, 231, 40, 40, 582, 371, 40, 40, data(picture()));
    p.setScale(1);
  });
}
BENCHMARK(BM_DrawPicturePart)->Unit(benchmark::kMicrosecond);

void BM_DrawMask46To23(benchmark::State& state) {
  inPaint(state,
          [&](render::Canvas& p) { p.drawMask(204, 144, 23, 23, data(iconMask()), 0xFF505050); });
}
BENCHMARK(BM_DrawMask46To23)->Unit(benchmark::kMicrosecond);

void BM_DrawTextStyle1(benchmark::State& state) {
  const std::wstring text = L"FIRMWARE VERSION 2.3.0";
  inPaint(state, [&](render::Canvas& p) {
    p.drawText(10, 719, 280, 21, 0xDC000000, 1, 0, 0, text, true);
  });
}
BENCHMARK(BM_DrawTextStyle1)->Unit(benchmark::kMicrosecond);

void BM_DrawTextStyle1Ellipsized(benchmark::State& state) {
  const std::wstring text = L"C:\\Users\\guitar\\impulses\\4x12 V30 SM57 cap edge 2 inch.wav";
  inPaint(state, [&](render::Canvas& p) {
    p.drawText(33, 140, 174, 31, 0xFF8C8C8E, 1, 0, 0, text, true);
  });
}
BENCHMARK(BM_DrawTextStyle1Ellipsized)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace orq

BENCHMARK_MAIN();
