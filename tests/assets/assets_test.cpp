// Shape tests of every embedded picture and mask: header, size, premultiplication, and the
// promises the panel relies on (opaque pictures, overlays that carry only their patches,
// patches that match their pictures, LEDs in the right colour).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "assets/assets.h"

namespace {

using orq::render::ImageData;
namespace assets = orq::assets;

struct Rect {
  int x, y, w, h;
  bool contains(int px, int py) const { return px >= x && px < x + w && py >= y && py < y + h; }
};

// The panel's fixed rectangles in picture coordinates.
const Rect kPatches[] = {{182, 231, 40, 40}, {182, 430, 40, 40}};
const Rect kBlueLeds[] = {{190, 105, 25, 25}, {190, 305, 25, 25}};
const Rect kRedLeds[] = {{787, 105, 25, 25}, {787, 305, 25, 25}};
const Rect kFootswitches[] = {{100, 660, 55, 55}, {470, 660, 55, 55}, {845, 660, 55, 55}};

int width(ImageData d) { return d.bytes[2] | (d.bytes[3] << 8); }
int height(ImageData d) { return d.bytes[4] | (d.bytes[5] << 8); }

struct Pixel {
  uint8_t r, g, b, a;
  bool operator==(const Pixel&) const = default;
};

Pixel at(ImageData d, int x, int y) {
  const uint8_t* p = d.bytes + 6 + (static_cast<size_t>(y) * width(d) + x) * 4;
  return {p[0], p[1], p[2], p[3]};
}

uint8_t coverage(ImageData d, int x, int y) {
  return d.bytes[6 + static_cast<size_t>(y) * width(d) + x];
}

struct Named {
  std::string name;
  ImageData data;
};

std::vector<Named> pictures() {
  return {{"device 0", assets::devicePicture(0)},
          {"device 1", assets::devicePicture(1)},
          {"device 2", assets::devicePicture(2)}};
}

std::vector<Named> switchOverlays() {
  return {{"dark 1", assets::switchOverlay(false, 1)},
          {"dark 2", assets::switchOverlay(false, 2)},
          {"light 1", assets::switchOverlay(true, 1)},
          {"light 2", assets::switchOverlay(true, 2)}};
}

TEST(Assets, EveryAssetHasItsTagSizeAndLength) {
  struct Case {
    std::string name;
    ImageData data;
    char tag;
    int w, h;
  };
  const Case cases[] = {
      {"maker logo", assets::makerLogo(), 'M', 214, 50},
      {"word mark", assets::wordMark(), 'M', 186, 18},
      {"left arrow", assets::leftArrow(), 'M', 22, 22},
      {"right arrow", assets::rightArrow(), 'M', 22, 22},
      {"midi", assets::midiConnector(), 'M', 46, 46},
      {"waveform", assets::waveform(), 'M', 46, 46},
      {"folder", assets::folder(), 'M', 46, 46},
      {"plus", assets::plus(), 'M', 46, 46},
      {"plug", assets::plug(), 'M', 46, 46},
      {"lowpass 1", assets::lowpassCurve(1), 'M', 48, 20},
      {"lowpass 2", assets::lowpassCurve(2), 'M', 48, 20},
      {"lowpass 3", assets::lowpassCurve(3), 'M', 48, 20},
      {"device 0", assets::devicePicture(0), 'I', 1000, 850},
      {"device 1", assets::devicePicture(1), 'I', 1000, 850},
      {"device 2", assets::devicePicture(2), 'I', 1000, 850},
      {"dark 1", assets::switchOverlay(false, 1), 'I', 1000, 850},
      {"dark 2", assets::switchOverlay(false, 2), 'I', 1000, 850},
      {"light 1", assets::switchOverlay(true, 1), 'I', 1000, 850},
      {"light 2", assets::switchOverlay(true, 2), 'I', 1000, 850},
      {"blue led", assets::blueLedOverlay(), 'I', 1000, 850},
      {"red led", assets::redLedOverlay(), 'I', 1000, 850},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_NE(c.data.bytes, nullptr);
    ASSERT_GE(c.data.size, 6u);
    EXPECT_EQ(c.data.bytes[0], 'R');
    EXPECT_EQ(c.data.bytes[1], c.tag);
    EXPECT_EQ(width(c.data), c.w);
    EXPECT_EQ(height(c.data), c.h);
    size_t perPixel = c.tag == 'I' ? 4 : 1;
    EXPECT_EQ(c.data.size, 6 + static_cast<size_t>(c.w) * c.h * perPixel);
  }
}

TEST(Assets, OutOfRangeSelectorsFallBackOrGiveNothing) {
  EXPECT_EQ(assets::lowpassCurve(0).bytes, assets::lowpassCurve(1).bytes);
  EXPECT_EQ(assets::lowpassCurve(7).bytes, assets::lowpassCurve(1).bytes);
  EXPECT_NE(assets::lowpassCurve(2).bytes, assets::lowpassCurve(3).bytes);
  EXPECT_EQ(assets::devicePicture(-1).bytes, assets::devicePicture(0).bytes);
  EXPECT_EQ(assets::devicePicture(3).bytes, assets::devicePicture(0).bytes);
  // Position 0 is the picture itself: no overlay to copy.
  EXPECT_EQ(assets::switchOverlay(false, 0).bytes, nullptr);
  EXPECT_EQ(assets::switchOverlay(true, 3).bytes, nullptr);
}

TEST(Assets, ColourImagesArePremultiplied) {
  std::vector<Named> all = pictures();
  for (const Named& n : switchOverlays()) all.push_back(n);
  all.push_back({"blue led", assets::blueLedOverlay()});
  all.push_back({"red led", assets::redLedOverlay()});
  for (const Named& n : all) {
    SCOPED_TRACE(n.name);
    size_t bad = 0;
    for (size_t i = 6; i + 3 < n.data.size; i += 4) {
      uint8_t a = n.data.bytes[i + 3];
      if (n.data.bytes[i] > a || n.data.bytes[i + 1] > a || n.data.bytes[i + 2] > a) ++bad;
    }
    EXPECT_EQ(bad, 0u);
  }
}

// A mask that is empty, or solid over its whole box, shows no shape.
TEST(Assets, MasksHaveAShape) {
  const Named masks[] = {
      {"maker logo", assets::makerLogo()}, {"word mark", assets::wordMark()},
      {"left arrow", assets::leftArrow()}, {"right arrow", assets::rightArrow()},
      {"midi", assets::midiConnector()},   {"waveform", assets::waveform()},
      {"folder", assets::folder()},        {"plus", assets::plus()},
      {"plug", assets::plug()},            {"lowpass 1", assets::lowpassCurve(1)},
      {"lowpass 2", assets::lowpassCurve(2)}, {"lowpass 3", assets::lowpassCurve(3)},
  };
  for (const Named& m : masks) {
    SCOPED_TRACE(m.name);
    size_t solid = 0, clear = 0, total = m.data.size - 6;
    for (size_t i = 6; i < m.data.size; ++i) {
      if (m.data.bytes[i] >= 200) ++solid;
      if (m.data.bytes[i] == 0) ++clear;
    }
    EXPECT_GT(solid, total / 20) << "too little ink to survive halving";
    EXPECT_GT(clear, total / 5);
  }
}

TEST(Assets, ArrowsAreMirrorImagesPointingOutwards) {
  ImageData left = assets::leftArrow(), right = assets::rightArrow();
  int worst = 0;
  for (int y = 0; y < 22; ++y)
    for (int x = 0; x < 22; ++x)
      worst = std::max(worst, std::abs(coverage(left, x, y) - coverage(right, 21 - x, y)));
  EXPECT_LE(worst, 32);  // rasterising is not exactly symmetric
  // A pointer is widest at its base, away from the side it points to.
  int widest = 0, widestInk = -1;
  for (int x = 0; x < 22; ++x) {
    int ink = 0;
    for (int y = 0; y < 22; ++y) ink += coverage(left, x, y);
    if (ink > widestInk) widestInk = ink, widest = x;
  }
  EXPECT_GT(widest, 12);
}

TEST(Assets, LowpassCornerMovesUpFromCurve1To3) {
  // Column where the curve first drops well below its flat part: later for a higher corner.
  auto corner = [](ImageData d) {
    int flatRow = 0, best = 0;
    for (int y = 0; y < height(d); ++y)
      if (coverage(d, 3, y) > best) best = coverage(d, 3, flatRow = y);
    for (int x = 3; x < width(d); ++x) {
      bool onFlat = coverage(d, x, flatRow) >= 128;
      if (!onFlat) return x;
    }
    return width(d);
  };
  int c1 = corner(assets::lowpassCurve(1));
  int c2 = corner(assets::lowpassCurve(2));
  int c3 = corner(assets::lowpassCurve(3));
  EXPECT_LT(c1 + 4, c2);
  EXPECT_LT(c2 + 4, c3);
  EXPECT_LT(c3, 46);
}

TEST(Assets, PicturesAreOpaqueOverTheEnclosureAndAtEveryControl) {
  std::vector<Rect> controls;
  for (const Rect& r : kPatches) controls.push_back(r);
  for (const Rect& r : kBlueLeds) controls.push_back(r);
  for (const Rect& r : kRedLeds) controls.push_back(r);
  for (const Rect& r : kFootswitches) controls.push_back(r);
  controls.push_back({80, 90, 840, 700});  // the enclosure's top face
  for (const Named& n : pictures()) {
    SCOPED_TRACE(n.name);
    for (const Rect& r : controls) {
      size_t seeThrough = 0;
      for (int y = r.y; y < r.y + r.h; ++y)
        for (int x = r.x; x < r.x + r.w; ++x)
          if (at(n.data, x, y).a != 255) ++seeThrough;
      EXPECT_EQ(seeThrough, 0u) << "at " << r.x << "," << r.y;
    }
  }
}

TEST(Assets, ModelPicturesDiffer) {
  std::vector<Named> p = pictures();
  for (size_t i = 0; i < p.size(); ++i)
    for (size_t j = i + 1; j < p.size(); ++j) {
      size_t differing = 0;
      for (int y = 0; y < 850; y += 2)
        for (int x = 0; x < 1000; x += 2)
          if (!(at(p[i].data, x, y) == at(p[j].data, x, y))) ++differing;
      EXPECT_GT(differing, 500u * 425u / 4) << p[i].name << " vs " << p[j].name;
    }
}

// Guards the converter's channel order (Cairo keeps B, G, R, A in memory on little-endian
// machines): model 2 is red, so its enclosure must read red, and model 0's print is gold.
TEST(Assets, PictureColoursKeepTheirChannelOrder) {
  long r = 0, g = 0, b = 0;
  ImageData red = assets::devicePicture(2);
  for (int y = 90; y < 790; ++y)
    for (int x = 80; x < 920; ++x) {
      Pixel p = at(red, x, y);
      r += p.r, g += p.g, b += p.b;
    }
  EXPECT_GT(r, 3 * b / 2);
  EXPECT_GT(r, 3 * g / 2);
}

void expectOnlyInside(ImageData d, const std::vector<Rect>& keep) {
  size_t outside = 0;
  for (int y = 0; y < 850; ++y)
    for (int x = 0; x < 1000; ++x) {
      bool inside = false;
      for (const Rect& r : keep) inside = inside || r.contains(x, y);
      if (!inside && at(d, x, y).a != 0) ++outside;
    }
  EXPECT_EQ(outside, 0u);
}

TEST(Assets, SwitchOverlaysCoverTheirPatchesAndNothingElse) {
  std::vector<Rect> keep(std::begin(kPatches), std::end(kPatches));
  for (const Named& n : switchOverlays()) {
    SCOPED_TRACE(n.name);
    expectOnlyInside(n.data, keep);
    // Opaque throughout: the patch must hide the lever drawn in position 0.
    for (const Rect& r : kPatches)
      for (int y = r.y; y < r.y + r.h; ++y)
        for (int x = r.x; x < r.x + r.w; ++x) ASSERT_EQ(at(n.data, x, y).a, 255);
  }
}

size_t differingInside(ImageData a, ImageData b, const Rect& r) {
  size_t n = 0;
  for (int y = r.y; y < r.y + r.h; ++y)
    for (int x = r.x; x < r.x + r.w; ++x)
      if (!(at(a, x, y) == at(b, x, y))) ++n;
  return n;
}

TEST(Assets, SwitchPositionsLookDifferent) {
  for (bool light : {false, true}) {
    ImageData picture = assets::devicePicture(light ? 1 : 0);
    ImageData p1 = assets::switchOverlay(light, 1);
    ImageData p2 = assets::switchOverlay(light, 2);
    for (const Rect& r : kPatches) {
      SCOPED_TRACE(std::string(light ? "light" : "dark") + " at y " + std::to_string(r.y));
      EXPECT_GT(differingInside(p1, p2, r), 60u);
      EXPECT_GT(differingInside(picture, p1, r), 60u);
      EXPECT_GT(differingInside(picture, p2, r), 60u);
    }
  }
}

// The patch is pasted over the picture, so its edge must continue the picture seamlessly.
TEST(Assets, SwitchPatchEdgesMatchTheirPictures) {
  struct Pair {
    int model;
    bool light;
  };
  for (Pair pair : {Pair{0, false}, Pair{1, true}, Pair{2, true}}) {
    ImageData picture = assets::devicePicture(pair.model);
    for (int position : {1, 2}) {
      ImageData overlay = assets::switchOverlay(pair.light, position);
      for (const Rect& r : kPatches) {
        SCOPED_TRACE("model " + std::to_string(pair.model) + " position " +
                     std::to_string(position) + " y " + std::to_string(r.y));
        size_t mismatched = 0;
        for (int y = r.y; y < r.y + r.h; ++y)
          for (int x = r.x; x < r.x + r.w; ++x) {
            bool edge = x < r.x + 3 || x >= r.x + r.w - 3 || y < r.y + 3 || y >= r.y + r.h - 3;
            if (!edge) continue;
            Pixel a = at(picture, x, y), b = at(overlay, x, y);
            auto near = [](uint8_t u, uint8_t v) { return u > v ? u - v <= 2 : v - u <= 2; };
            if (!(near(a.r, b.r) && near(a.g, b.g) && near(a.b, b.b) && near(a.a, b.a)))
              ++mismatched;
          }
        EXPECT_EQ(mismatched, 0u);
      }
    }
  }
}

TEST(Assets, LedOverlaysHoldLitLedsOfTheirColourOnly) {
  struct Case {
    std::string name;
    ImageData data;
    const Rect* rects;
    bool blue;
  };
  for (const Case& c : {Case{"blue", assets::blueLedOverlay(), kBlueLeds, true},
                        Case{"red", assets::redLedOverlay(), kRedLeds, false}}) {
    SCOPED_TRACE(c.name);
    expectOnlyInside(c.data, {c.rects[0], c.rects[1]});
    for (int i = 0; i < 2; ++i) {
      const Rect& r = c.rects[i];
      Pixel centre = at(c.data, r.x + r.w / 2, r.y + r.h / 2);
      EXPECT_EQ(centre.a, 255);
      if (c.blue) {
        EXPECT_GT(centre.b, centre.r);
      } else {
        EXPECT_GT(centre.r, centre.b);
        EXPECT_GT(centre.r, centre.g);
      }
      // The glow fades out before the edge of the rectangle, so no hard square shows.
      EXPECT_LT(at(c.data, r.x, r.y).a, 40);
      EXPECT_LT(at(c.data, r.x + r.w - 1, r.y + r.h - 1).a, 40);
    }
  }
}

}  // namespace
