// Pixel tests of the shape, transform, image and mask operations on an offscreen surface. They
// hold for every backend (the Windows build runs them over Direct2D).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "render_test_util.h"

namespace orq {
namespace {

using test::Target;

int channel(uint32_t p, int shift) {
  return static_cast<int>((p >> shift) & 0xFF);
}

// Each channel within `tolerance` of the expected 0xAARRGGBB.
::testing::AssertionResult near(uint32_t got, uint32_t want, int tolerance = 1) {
  for (int s : {24, 16, 8, 0}) {
    if (std::abs(channel(got, s) - channel(want, s)) > tolerance) {
      return ::testing::AssertionFailure() << std::hex << "got 0x" << got << ", want 0x" << want;
    }
  }
  return ::testing::AssertionSuccess();
}

struct AlphaCounts {
  int none = 0, partial = 0, full = 0;
};
AlphaCounts countAlpha(const Target& c) {
  AlphaCounts n;
  for (int y = 0; y < c.surface.pixelHeight(); ++y) {
    for (int x = 0; x < c.surface.pixelWidth(); ++x) {
      const uint32_t a = Target::alpha(c.at(x, y));
      (a == 0 ? n.none : a == 255 ? n.full : n.partial)++;
    }
  }
  return n;
}

TEST(FillRect, RadiusZeroOrLessIsAliasedEvenUnderFractionalScale) {
  for (int radius : {0, -1}) {
    Target c;
    c.paint([&](render::Canvas& p) { p.fillRect(10, 10, 20, 10, radius, 0xFF336699); });
    EXPECT_EQ(countAlpha(c).full, 200) << radius;
    EXPECT_EQ(countAlpha(c).partial, 0) << radius;
    EXPECT_EQ(c.at(10, 10), 0xFF336699u);
    EXPECT_EQ(c.at(29, 19), 0xFF336699u);
    EXPECT_EQ(c.at(30, 19), 0u);

    Target scaled;  // edges at 13.3, 26.6 ... fall inside pixels: still no partial coverage
    scaled.paint([&](render::Canvas& p) {
      p.setScale(1.33f);
      p.fillRect(10, 10, 21, 13, radius, 0xFF336699);
    });
    EXPECT_EQ(countAlpha(scaled).partial, 0) << radius;
    EXPECT_GT(countAlpha(scaled).full, 21 * 13) << radius;
  }
}

TEST(FillRect, PositiveRadiusRoundsAndAntialiasesCorners) {
  Target c;
  c.paint([](render::Canvas& p) { p.fillRect(10, 10, 60, 40, 13, 0xFFFFFFFF); });
  EXPECT_EQ(c.at(10, 10), 0u);  // corner cut away
  EXPECT_EQ(c.at(69, 49), 0u);
  EXPECT_EQ(c.at(40, 10), 0xFFFFFFFFu);  // straight edges stay full
  EXPECT_EQ(c.at(10, 30), 0xFFFFFFFFu);
  EXPECT_GT(countAlpha(c).partial, 8);  // smooth arcs
  // Each radius clamps to half its side: radius 10 on 40 x 20 is a pill with a straight top
  // edge, radius 30 an ellipse whose top is curved everywhere.
  Target pill(40, 20), ellipse(40, 20);
  pill.paint([](render::Canvas& p) { p.fillRect(0, 0, 40, 20, 10, 0xFFFFFFFF); });
  ellipse.paint([](render::Canvas& p) { p.fillRect(0, 0, 40, 20, 30, 0xFFFFFFFF); });
  EXPECT_EQ(pill.at(15, 0), 0xFFFFFFFFu);
  EXPECT_GT(pill.at(0, 10) >> 24, 200u);
  EXPECT_EQ(pill.at(1, 1), 0u);
  EXPECT_LT(ellipse.at(15, 0) >> 24, 230u);
  EXPECT_GT(ellipse.at(15, 0) >> 24, 80u);
  EXPECT_EQ(ellipse.at(4, 1), 0u);
  EXPECT_EQ(ellipse.at(20, 10), 0xFFFFFFFFu);
}

TEST(FillRect, ColourWordsAreDecodedAsStraightAlpha) {
  struct Case {
    uint32_t ground, colour, expected;
  } cases[] = {
      {0x00000000, 0xFF336699, 0xFF336699},
      {0x00000000, 0x80FF0000, 0x80FF0000},
      {0xFFFFFFFF, 0x00000000, 0xFFFFFFFF},  // alpha 0 draws nothing
      {0xFFFFFFFF, 0x00FF0000, 0xFFFFFFFF},
      {0xFFC8C8C8, 0xA0000000, 0xFF4A4A4A},  // 200 * (1 - 160/255) = 74.5: darkened
      {0xFF000000, 0x80FFFFFF, 0xFF808080},
  };
  for (const auto& k : cases) {
    Target c(20, 20);
    c.surface.clear(k.ground);
    c.paint([&](render::Canvas& p) { p.fillRect(0, 0, 20, 20, 0, k.colour); });
    EXPECT_TRUE(near(c.at(5, 5), k.expected)) << std::hex << k.colour;
  }
}

TEST(SetScale, FactorZeroDrawsNothingAndLeavesTheContextUsable) {
  Target c(40, 40);
  c.paint([](render::Canvas& p) {
    p.setScale(0);
    p.fillRect(0, 0, 40, 40, 0, 0xFFFFFFFF);
    p.fillRect(0, 0, 40, 40, 5, 0xFFFFFFFF);
    p.setScale(1);
    p.fillRect(0, 0, 10, 10, 0, 0xFF00FF00);
  });
  EXPECT_EQ(c.at(5, 5), 0xFF00FF00u);
  EXPECT_EQ(c.at(20, 20), 0u);
}

// 2 x 2 picture: red, green / blue, white; opaque.
std::vector<uint8_t> quadrants() {
  const uint32_t colours[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};
  return test::colourImage(2, 2, [&](int x, int y) { return colours[y * 2 + x]; });
}

TEST(DrawImage, StretchesTheWholePictureWithFiltering) {
  auto img = quadrants();
  Target c(60, 60);
  c.paint([&](render::Canvas& p) { p.drawImage(10, 10, 40, 40, test::data(img)); });
  EXPECT_EQ(c.at(12, 12), 0xFFFF0000u);
  EXPECT_EQ(c.at(47, 12), 0xFF00FF00u);
  EXPECT_EQ(c.at(12, 47), 0xFF0000FFu);
  EXPECT_EQ(c.at(47, 47), 0xFFFFFFFFu);
  EXPECT_EQ(c.at(9, 30), 0u);
  EXPECT_EQ(c.at(50, 30), 0u);
  // Bilinear: across the middle the colours blend instead of stepping.
  const uint32_t mid = c.at(29, 12);
  EXPECT_GT(channel(mid, 16), 40);
  EXPECT_GT(channel(mid, 8), 40);
}

TEST(DrawImage, PremultipliedPixelsComeOutAsTheirStraightColour) {
  auto img = test::colourImage(1, 1, [](int, int) { return 0x80FF8000u; });
  Target c(10, 10);
  c.surface.clear(0xFF000000);
  c.paint([&](render::Canvas& p) { p.drawImage(0, 0, 10, 10, test::data(img)); });
  EXPECT_TRUE(near(c.at(5, 5), 0xFF804000, 2));
}

TEST(DrawImagePart, MapsTheSourceRectangleWithoutBleedingNeighbours) {
  // 4 x 1: red, green, blue, white. Part (1, 0, 2, 1) holds only green and blue.
  const uint32_t colours[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};
  auto img = test::colourImage(4, 1, [&](int x, int) { return colours[x]; });
  Target c(40, 20);
  c.paint([&](render::Canvas& p) { p.drawImagePart(1, 0, 2, 1, 0, 0, 40, 10, test::data(img)); });
  EXPECT_EQ(c.at(0, 5), 0xFF00FF00u);   // no red from the left neighbour
  EXPECT_EQ(c.at(39, 5), 0xFF0000FFu);  // no white from the right one
  EXPECT_EQ(c.at(5, 9), 0xFF00FF00u);
  EXPECT_EQ(c.at(5, 10), 0u);
  // A source rectangle reaching past the picture draws only the part inside it.
  Target over(40, 20);
  over.paint(
      [&](render::Canvas& p) { p.drawImagePart(3, 0, 2, 1, 0, 0, 40, 10, test::data(img)); });
  EXPECT_EQ(over.at(5, 5), 0xFFFFFFFFu);
  EXPECT_EQ(over.at(19, 5), 0xFFFFFFFFu);
  EXPECT_EQ(over.at(20, 5), 0u);
}

TEST(DrawMask, CoverageScalesTheColoursAlpha) {
  // 2 x 2 coverage: 255, 128 / 0, 255.
  const uint8_t cover[4] = {255, 128, 0, 255};
  auto m = test::mask(2, 2, [&](int x, int y) { return cover[y * 2 + x]; });
  struct Case {
    uint32_t colour;
    uint32_t full, half;
  } cases[] = {
      {0xFF00FF00, 0xFF00FF00, 0x8000FF00},
      {0x80FF0000, 0x80FF0000, 0x40FF0000},
  };
  for (const auto& k : cases) {
    Target c(40, 40);
    c.paint([&](render::Canvas& p) { p.drawMask(0, 0, 40, 40, test::data(m), k.colour); });
    EXPECT_TRUE(near(c.at(3, 3), k.full)) << std::hex << k.colour;
    EXPECT_TRUE(near(c.at(37, 3), k.half, 2)) << std::hex << k.colour;
    EXPECT_EQ(c.at(3, 37), 0u) << std::hex << k.colour;
  }
}

TEST(DrawMask, DownscalesWithFilteringInsideAnAliasedBox) {
  // Alternate one-pixel stripes: a 46 -> 23 reduction averages each pair to half coverage
  // (point sampling would give 0 or 255).
  auto stripes = test::mask(46, 46, [](int x, int) { return x % 2 ? 255 : 0; });
  Target c(60, 60);
  c.paint([&](render::Canvas& p) { p.drawMask(10, 10, 23, 23, test::data(stripes), 0xFFFFFFFF); });
  for (int x = 10; x < 33; ++x) {
    EXPECT_NEAR(static_cast<int>(Target::alpha(c.at(x, 20))), 128, 3) << x;
  }
  EXPECT_EQ(c.at(9, 20), 0u);
  EXPECT_EQ(c.at(33, 20), 0u);
  EXPECT_EQ(c.at(20, 33), 0u);

  // A solid mask at a fractional scale: box edges stay hard, no partial pixels.
  auto solid = test::mask(46, 46, [](int, int) { return 255; });
  Target s(60, 60);
  s.paint([&](render::Canvas& p) {
    p.setScale(1.37f);
    p.drawMask(7, 7, 23, 23, test::data(solid), 0xFFFFFFFF);
  });
  EXPECT_EQ(countAlpha(s).partial, 0);
  EXPECT_GT(countAlpha(s).full, 23 * 23);
}

TEST(DrawImageAndMask, RefusedDataDrawsNothing) {
  auto ri = test::colourImage(2, 2, [](int, int) { return 0xFFFFFFFFu; });
  auto rm = test::mask(2, 2, [](int, int) { return 255; });
  auto riLong = ri;
  riLong.push_back(0);
  auto rmShort = rm;
  rmShort.resize(rm.size() - 1);
  auto riHuge = test::blob('I', 40000, 1, 4);  // valid format, beyond what Cairo can hold
  const render::ImageData images[] = {
      test::data(rm),       test::data(riLong), {ri.data(), ri.size() - 1},
      {nullptr, ri.size()}, {ri.data(), 4},     test::data(riHuge)};
  const render::ImageData masks[] = {
      test::data(ri), test::data(rmShort), {rm.data(), rm.size() + 1}, {nullptr, 10}};
  for (const auto& img : images) {
    Target c(20, 20);
    c.paint([&](render::Canvas& p) {
      p.drawImage(0, 0, 20, 20, img);
      p.drawImagePart(0, 0, 1, 1, 0, 0, 20, 20, img);
    });
    EXPECT_EQ(countAlpha(c).none, 400);
  }
  for (const auto& m : masks) {
    Target c(20, 20);
    c.paint([&](render::Canvas& p) { p.drawMask(0, 0, 20, 20, m, 0xFFFFFFFF); });
    EXPECT_EQ(countAlpha(c).none, 400);
  }
}

TEST(Offscreen, HigherDpiScalesEverythingByItsRatio) {
  auto m = test::mask(46, 46, [](int, int) { return 255; });
  auto img = quadrants();
  auto scene = [&](render::Canvas& p) {
    p.fillRect(10, 10, 20, 20, 0, 0xFFFFFFFF);
    p.drawMask(40, 10, 23, 23, test::data(m), 0xFFFFFFFF);
    p.drawImage(70, 10, 20, 20, test::data(img));
  };
  Target one(100, 40, 96), big(100, 40, 144);
  one.paint(scene);
  big.paint(scene);
  EXPECT_EQ(big.surface.pixelWidth(), 150);
  EXPECT_EQ(big.surface.pixelHeight(), 60);
  struct Span {
    int x0, x1;
  } spans[] = {{10, 30}, {40, 63}, {70, 90}};
  for (const auto& s : spans) {
    const auto a = test::inkBox(one, 40, s.x0 - 2, 0, s.x1 + 2);
    const auto b = test::inkBox(big, 40, s.x0 * 3 / 2 - 2, 0, s.x1 * 3 / 2 + 2);
    EXPECT_EQ(a.left, s.x0);
    EXPECT_EQ(a.width(), s.x1 - s.x0);
    EXPECT_NEAR(b.left, s.x0 * 1.5, 1) << s.x0;
    EXPECT_NEAR(b.width(), (s.x1 - s.x0) * 1.5, 1) << s.x0;
    EXPECT_NEAR(b.height(), a.height() * 1.5, 1) << s.x0;
  }
}

}  // namespace
}  // namespace orq
