// The panel painted with Direct2D and DirectWrite (offscreen, WIC) in the states orq-shot shows,
// against the same states painted with Cairo and Pango on the build host (orq-shot's PNGs, the
// folder given as the argument). At every control the colours agree within a small tolerance;
// every text that Cairo draws on a plain ground is drawn here too, inside its box, aligned as
// the panel asked. Where they may differ for other reasons than a fault is left out: inside text
// boxes (the faces are each system's), and along shape edges (anti-aliasing).
// On failure the Direct2D rendering is written beside the Cairo one as NAME.d2d.png.
#include <windows.h>
// (WIC after windows.h)
#include <gtest/gtest.h>
#include <wincodec.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/platform.h"
#include "app/platform_offscreen.h"
#include "render/offscreen.h"
#include "render/paint_trace.h"
#include "render/render_d2d.h"
#include "tools/shot/panel_shots.h"
#include "ui/ui.h"

namespace {

std::string gCairoDir;  // from the command line

constexpr int kTolerance = 12;        // per channel, at a control
constexpr double kAllowedOff = 0.02;  // share of a control's compared pixels
constexpr int kInk = 60;              // per-channel distance from the ground that is ink
constexpr int kAlignSlack = 4;        // pixels between the two faces' aligned edges

// Straight ARGB pixels, row after row.
struct Picture {
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;
  uint32_t at(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return 0;
    return pixels[static_cast<size_t>(y) * width + x];
  }
};

int distance(uint32_t a, uint32_t b) {
  int d = 0;
  for (int s : {24, 16, 8, 0}) {
    d = std::max(d,
                 std::abs(static_cast<int>((a >> s) & 0xFF) - static_cast<int>((b >> s) & 0xFF)));
  }
  return d;
}

Picture loadPng(const std::string& path) {
  Picture p;
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  IWICImagingFactory* wic = nullptr;
  IWICBitmapDecoder* decoder = nullptr;
  IWICBitmapFrameDecode* frame = nullptr;
  IWICFormatConverter* straight = nullptr;
  const std::wstring wide(path.begin(), path.end());
  UINT w = 0, h = 0;
  if (SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                 IID_IWICImagingFactory, reinterpret_cast<void**>(&wic))) &&
      SUCCEEDED(wic->CreateDecoderFromFilename(wide.c_str(), nullptr, GENERIC_READ,
                                               WICDecodeMetadataCacheOnDemand, &decoder)) &&
      SUCCEEDED(decoder->GetFrame(0, &frame)) && SUCCEEDED(frame->GetSize(&w, &h)) &&
      SUCCEEDED(wic->CreateFormatConverter(&straight)) &&
      SUCCEEDED(straight->Initialize(frame, GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone,
                                     nullptr, 0, WICBitmapPaletteTypeCustom))) {
    p.width = static_cast<int>(w);
    p.height = static_cast<int>(h);
    p.pixels.resize(static_cast<size_t>(w) * h);
    if (FAILED(straight->CopyPixels(nullptr, w * 4, w * h * 4,
                                    reinterpret_cast<BYTE*>(p.pixels.data())))) {
      p = {};
    }
  }
  for (IUnknown* u : std::initializer_list<IUnknown*>{straight, frame, decoder, wic}) {
    if (u) u->Release();
  }
  return p;
}

struct Painted {
  Picture picture;
  std::vector<orq::HitRegion> regions;
  std::vector<orq::render::PaintOp> ops;
};

// One shot as orq-shot paints it (two paints, the second recorded), here with Direct2D.
Painted paintShot(const orq::shot::PanelShot& shot, const std::string& failedPath) {
  orq::Platform platform("Tarvik Editor", "com.tarvik.editor");
  Painted out;
  {
    orq::Ui ui(&platform);
    shot.setup(ui);
    orq::render::OffscreenSurface surface(shot.width, shot.height);
    orq::offscreen::paint(surface, platform);
    orq::render::PaintTrace trace;
    surface.paint([&](orq::render::Canvas& canvas) {
      trace.next = &canvas;
      platform.paint(trace);
    });
    out.ops = trace.ops;
    out.regions = ui.hitRegions;
    out.picture.width = surface.pixelWidth();
    out.picture.height = surface.pixelHeight();
    for (int y = 0; y < out.picture.height; ++y) {
      for (int x = 0; x < out.picture.width; ++x) out.picture.pixels.push_back(surface.pixel(x, y));
    }
    if (!failedPath.empty()) surface.writePng(failedPath);
  }
  platform.callback = nullptr;
  return out;
}

// Pixels left out of the colour comparison.
class Skip {
 public:
  Skip(int w, int h) : w_(w), h_(h), bits_(static_cast<size_t>(w) * h, 0) {}
  void rect(double x0, double y0, double x1, double y1) {
    for (int y = std::max(0, static_cast<int>(y0)); y < std::min(h_, static_cast<int>(y1 + 1)); ++y)
      for (int x = std::max(0, static_cast<int>(x0)); x < std::min(w_, static_cast<int>(x1 + 1));
           ++x)
        bits_[static_cast<size_t>(y) * w_ + x] = 1;
  }
  // A band of `b` pixels on both sides of each edge of the rectangle.
  void edges(double x0, double y0, double x1, double y1, double b) {
    rect(x0 - b, y0 - b, x1 + b, y0 + b);
    rect(x0 - b, y1 - b, x1 + b, y1 + b);
    rect(x0 - b, y0 - b, x0 + b, y1 + b);
    rect(x1 - b, y0 - b, x1 + b, y1 + b);
  }
  bool at(int x, int y) const { return bits_[static_cast<size_t>(y) * w_ + x] != 0; }

 private:
  int w_, h_;
  std::vector<uint8_t> bits_;
};

Skip skipFor(const Painted& p) {
  Skip skip(p.picture.width, p.picture.height);
  double scale = 1;
  for (const orq::render::PaintOp& op : p.ops) {
    using K = orq::render::PaintOp::Kind;
    if (op.kind == K::Scale) {
      scale = op.scale;
      continue;
    }
    const double k = op.kind == K::Image || op.kind == K::ImagePart ? scale : 1;
    const double x0 = op.x * k, y0 = op.y * k;
    const double x1 = (op.x + op.width) * k, y1 = (op.y + op.height) * k;
    switch (op.kind) {
      case K::Text:
        skip.rect(x0 - 2, y0 - 3, x1 + 2, y1 + 3);
        break;
      case K::Fill:
        if (op.radius > 0) {
          const double r = op.radius + 1;
          skip.edges(x0, y0, x1, y1, 1.5);
          skip.rect(x0, y0, x0 + r, y0 + r);
          skip.rect(x1 - r, y0, x1, y0 + r);
          skip.rect(x0, y1 - r, x0 + r, y1);
          skip.rect(x1 - r, y1 - r, x1, y1);
        } else {
          skip.edges(x0, y0, x1, y1, 1);
        }
        break;
      default:
        skip.edges(x0, y0, x1, y1, 2);
        break;
    }
  }
  return skip;
}

struct Box {
  int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
  bool empty() const { return right < left; }
  void add(int x, int y) {
    left = std::min(left, x), right = std::max(right, x);
    top = std::min(top, y), bottom = std::max(bottom, y);
  }
};

// The colour most of the ring just outside the box has, and whether the ring is plain.
bool plainGround(const Picture& pic, int x0, int y0, int x1, int y1, uint32_t& ground) {
  std::vector<uint32_t> ring;
  for (int x = x0 - 1; x <= x1 + 1; ++x)
    ring.insert(ring.end(), {pic.at(x, y0 - 1), pic.at(x, y1 + 1)});
  for (int y = y0; y <= y1; ++y) ring.insert(ring.end(), {pic.at(x0 - 1, y), pic.at(x1 + 1, y)});
  std::vector<uint32_t> sorted = ring;
  std::sort(sorted.begin(), sorted.end());
  size_t best = 0;
  for (size_t i = 0, j = 0; i < sorted.size(); i = j) {
    for (j = i; j < sorted.size() && sorted[j] == sorted[i]; ++j) {
    }
    if (j - i > best) best = j - i, ground = sorted[i];
  }
  return best * 10 >= ring.size() * 9;
}

Box inkIn(const Picture& pic, uint32_t ground, int x0, int y0, int x1, int y1) {
  Box b;
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x)
      if (distance(pic.at(x, y), ground) > kInk) b.add(x, y);
  return b;
}

bool overlapsAnotherText(const Painted& p, const orq::render::PaintOp& text) {
  for (const orq::render::PaintOp& other : p.ops) {
    if (&other == &text || other.kind != orq::render::PaintOp::Kind::Text) continue;
    if (other.x < text.x + text.width + 4 && text.x < other.x + other.width + 4 &&
        other.y < text.y + text.height + 4 && text.y < other.y + other.height + 4) {
      return true;
    }
  }
  return false;
}

TEST(Direct2D, PanelMatchesCairoAtControlsAndInTextBoxes) {
  ASSERT_FALSE(gCairoDir.empty()) << "usage: d2d_cairo_test CAIRO_PNG_FOLDER";
  std::printf("text face here: %ls\n", orq::render::textFamily());
  int regionsCompared = 0, textsCompared = 0;
  for (const orq::shot::PanelShot& shot : orq::shot::panelShots()) {
    SCOPED_TRACE(shot.name);
    const Picture cairo = loadPng(gCairoDir + "/" + shot.name + ".png");
    ASSERT_EQ(cairo.width, shot.width) << "no Cairo rendering of " << shot.name;
    Painted d2d = paintShot(shot, "");
    ASSERT_EQ(d2d.picture.width, cairo.width);
    ASSERT_EQ(d2d.picture.height, cairo.height);
    const Skip skip = skipFor(d2d);
    bool failed = false;

    // Colours at every control.
    for (const orq::HitRegion& r : d2d.regions) {
      int compared = 0, off = 0;
      for (int y = r.y; y < r.y + r.height; ++y) {
        for (int x = r.x; x < r.x + r.width; ++x) {
          if (x < 0 || y < 0 || x >= cairo.width || y >= cairo.height || skip.at(x, y)) continue;
          ++compared;
          off += distance(cairo.at(x, y), d2d.picture.at(x, y)) > kTolerance;
        }
      }
      if (compared < 20) continue;  // nearly all text or edge
      ++regionsCompared;
      EXPECT_LE(off, compared * kAllowedOff)
          << "control " << r.id << " at (" << r.x << ", " << r.y << ", " << r.width << ", "
          << r.height << "): " << off << " of " << compared << " pixels differ";
      failed |= off > compared * kAllowedOff;
    }

    // Texts on a plain ground: drawn, inside their boxes, aligned as asked.
    for (const orq::render::PaintOp& t : d2d.ops) {
      if (t.kind != orq::render::PaintOp::Kind::Text || t.width <= 0 || overlapsAnotherText(d2d, t))
        continue;
      const int x0 = t.x, y0 = t.y - 1, x1 = t.x + t.width - 1, y1 = t.y + t.height - 1;
      // Ink is looked for in a margin around the box, so that a text beside its box shows.
      constexpr int m = 6;
      uint32_t ground = 0;
      if (!plainGround(cairo, x0 - m, y0 - m, x1 + m, y1 + m, ground)) continue;
      const Box want = inkIn(cairo, ground, x0 - m, y0 - m, x1 + m, y1 + m);
      if (want.empty()) continue;
      ++textsCompared;
      const Box got = inkIn(d2d.picture, ground, x0 - m, y0 - m, x1 + m, y1 + m);
      SCOPED_TRACE(testing::Message()
                   << "text \"" << std::string(t.text.begin(), t.text.end()) << "\" in (" << t.x
                   << ", " << t.y << ", " << t.width << ", " << t.height << ")");
      if (got.empty()) {
        ADD_FAILURE() << "not drawn";
        failed = true;
        continue;
      }
      // Inside the box, or no further out than Cairo's ink (a switch's knob may sit in the
      // margin next to its label, in both renderings alike).
      const bool inside =
          got.left >= std::min(x0, want.left) - 1 && got.right <= std::max(x1, want.right) + 1 &&
          got.top >= std::min(y0, want.top) - 2 && got.bottom <= std::max(y1, want.bottom) + 2;
      EXPECT_TRUE(inside) << "ink at " << got.left << ".." << got.right << " x " << got.top << ".."
                          << got.bottom << ", Cairo's at " << want.left << ".." << want.right
                          << " x " << want.top << ".." << want.bottom;
      const auto edge = [](int align, const Box& b, bool horizontal) {
        const int lo = horizontal ? b.left : b.top, hi = horizontal ? b.right : b.bottom;
        const bool leading = horizontal ? align == 0 : align == 1;
        const bool middle = horizontal ? align == 1 : align == 0;
        return leading ? 2 * lo : middle ? lo + hi : 2 * hi;  // doubled, so a centre is whole
      };
      const int dx = std::abs(edge(t.hAlign, got, true) - edge(t.hAlign, want, true)) / 2;
      const int dy = std::abs(edge(t.vAlign, got, false) - edge(t.vAlign, want, false)) / 2;
      EXPECT_LE(dx, kAlignSlack) << "horizontal alignment " << t.hAlign;
      EXPECT_LE(dy, kAlignSlack) << "vertical alignment " << t.vAlign;
      failed |= !inside || dx > kAlignSlack || dy > kAlignSlack;
    }
    if (failed) paintShot(shot, gCairoDir + "/" + shot.name + ".d2d.png");
  }
  // The comparison must have looked at something: every shot has controls and texts.
  EXPECT_GT(regionsCompared, 200);
  EXPECT_GT(textsCompared, 50);
  std::printf("compared %d controls and %d texts\n", regionsCompared, textsCompared);
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc > 1) gCairoDir = argv[1];
  return RUN_ALL_TESTS();
}
