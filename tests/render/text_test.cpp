// Text drawing: the face chosen, alignment in both directions, the box offset, ellipsis and
// wrapping, colour, and scaling with the surface's dpi. Positions are read from the ink.
#include <gtest/gtest.h>
#include <pango/pangocairo.h>

#include <cstdint>
#include <string>

#include "render/render_cairo.h"
#include "render_test_util.h"

namespace orq {
namespace {

using test::inkBox;
using test::Target;

const std::wstring kWs(30, L'W');

TEST(Text, StylesUseASemiboldFaceAtTheirSizes) {
  const double sizes[3] = {10, 11, 13};
  for (int style = 0; style < 3; ++style) {
    const auto face = render::resolvedFace(style);
    EXPECT_EQ(face.weight, 600) << style << " " << face.family;
    EXPECT_DOUBLE_EQ(face.size, sizes[style]) << style;
    if (face.family != "Segoe UI") {  // the fallback this project installs
      EXPECT_EQ(face.family, "Open Sans") << style;
      EXPECT_NE(face.file.find("Semibold"), std::string::npos) << face.file;
    }
  }
  EXPECT_EQ(render::resolvedFace(3).weight, 0);
}

TEST(Text, AlignsInBothDirections) {
  // Box (20, 20, 200, 80); its layout box spans y 19..100.
  struct Case {
    int h, v;
  } cases[] = {{0, 1}, {1, 1}, {2, 1}, {0, 0}, {1, 0}, {2, 0}, {7, 5}, {-1, -1}, {2, 2}};
  for (const auto& k : cases) {
    Target c(240, 120);
    c.paint([&](render::Canvas& p) {
      p.drawText(20, 20, 200, 80, 0xFFFFFFFF, 2, k.h, k.v, L"Hi there", true);
    });
    const auto ink = inkBox(c);
    ASSERT_FALSE(ink.empty()) << k.h << "," << k.v;
    SCOPED_TRACE(testing::Message() << "h " << k.h << " v " << k.v);
    if (k.h == 0) {
      EXPECT_NEAR(ink.left, 21, 2);
    } else if (k.h == 1) {
      EXPECT_NEAR(ink.centreX(), 120, 2);
    } else {
      EXPECT_NEAR(ink.right, 219, 2);
    }
    if (k.v == 1) {
      EXPECT_GE(ink.top, 19);
      EXPECT_LE(ink.top, 27);
    } else if (k.v == 0) {
      EXPECT_NEAR(ink.centreY(), 59.5, 3);
    } else {
      EXPECT_LE(ink.bottom, 100);
      EXPECT_GE(ink.bottom, 91);
    }
  }
}

// Where Pango puts the top of the ink of `text` below the top of its layout, and the height of
// its layout, in units.
struct LineMetrics {
  double inkOffset;
  double height;
};
LineMetrics lineMetrics(const wchar_t* text, int style) {
  const auto face = render::resolvedFace(style);
  PangoFontMap* map = pango_cairo_font_map_new();
  PangoContext* context = pango_font_map_create_context(map);
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  pango_cairo_context_set_font_options(context, options);
  cairo_font_options_destroy(options);
  PangoLayout* layout = pango_layout_new(context);
  PangoFontDescription* d = pango_font_description_new();
  pango_font_description_set_family(d, face.family.c_str());
  pango_font_description_set_weight(d, PANGO_WEIGHT_SEMIBOLD);
  pango_font_description_set_absolute_size(d, face.size * PANGO_SCALE);
  pango_layout_set_font_description(layout, d);
  std::string utf8;
  for (const wchar_t* t = text; *t; ++t) utf8 += static_cast<char>(*t);
  pango_layout_set_text(layout, utf8.c_str(), -1);
  PangoRectangle ink, logical;
  pango_layout_get_extents(layout, &ink, &logical);
  pango_font_description_free(d);
  g_object_unref(layout);
  g_object_unref(context);
  g_object_unref(map);
  return {static_cast<double>(ink.y) / PANGO_SCALE,
          static_cast<double>(logical.height) / PANGO_SCALE};
}

// The layout box of (x, y, w, h) runs from y - 1 to y + h: one unit above y, and down to the
// bottom of the box. Top, centred and bottom text sit in exactly that span.
TEST(Text, LayoutBoxRunsFromOneUnitAboveYToTheBottom) {
  // At 4 device pixels per unit a box off by one unit shows its ink 4 pixels away.
  const LineMetrics m = lineMetrics(L"HHH", 2);
  const int h = 30;
  for (int y : {10, 17}) {
    for (int v : {1, 0, 2}) {
      Target c(100, 60, 384);
      c.paint(
          [&](render::Canvas& p) { p.drawText(5, y, 90, h, 0xFFFFFFFF, 2, 0, v, L"HHH", true); });
      const double top = v == 1   ? y - 1
                         : v == 0 ? y - 1 + (h + 1 - m.height) / 2
                                  : y + h - m.height;
      EXPECT_NEAR(inkBox(c, 128).top, (top + m.inkOffset) * 4, 1.5) << "y " << y << " v " << v;
    }
  }
}

TEST(Text, SingleLineTooLongEndsWithAnEllipsisInsideTheBox) {
  Target cut(400, 40), free(400, 40);
  cut.paint([](render::Canvas& p) { p.drawText(10, 10, 80, 20, 0xFFFFFFFF, 1, 0, 0, kWs, true); });
  free.paint(
      [](render::Canvas& p) { p.drawText(10, 10, 380, 20, 0xFFFFFFFF, 1, 0, 0, kWs, true); });
  const auto ink = inkBox(cut);
  EXPECT_LE(ink.right, 90);
  EXPECT_GE(ink.right, 80);
  EXPECT_GT(inkBox(free).right, 250);
  // The last few columns hold the ellipsis: dots on the baseline, not a full-height letter.
  const auto tail = inkBox(cut, 40, ink.right - 3, 0, ink.right + 1);
  EXPECT_LE(tail.height(), 3);
  EXPECT_GE(tail.top, ink.bottom - 3);
  // A text that fits is drawn whole: no dots at its end.
  Target fits(400, 40);
  fits.paint(
      [](render::Canvas& p) { p.drawText(10, 10, 200, 20, 0xFFFFFFFF, 1, 0, 0, L"WWW", true); });
  const auto whole = inkBox(fits);
  EXPECT_GT(inkBox(fits, 40, whole.right - 3, 0, whole.right + 1).height(), 5);
}

TEST(Text, MultiLineWrapsAtWordsAndCutsWhatOverflows) {
  const std::wstring words = L"alpha beta gamma delta epsilon zeta eta theta iota kappa lambda";
  Target tall(200, 300), single(200, 300), shortBox(200, 300);
  tall.paint(
      [&](render::Canvas& p) { p.drawText(10, 10, 70, 280, 0xFFFFFFFF, 1, 0, 1, words, false); });
  single.paint(
      [&](render::Canvas& p) { p.drawText(10, 10, 70, 280, 0xFFFFFFFF, 1, 0, 1, words, true); });
  shortBox.paint(
      [&](render::Canvas& p) { p.drawText(10, 10, 70, 32, 0xFFFFFFFF, 1, 0, 1, words, false); });
  const auto t = inkBox(tall), s = inkBox(single), b = inkBox(shortBox);
  EXPECT_LE(t.right, 80);
  EXPECT_GT(t.height(), 5 * 12);  // many lines
  EXPECT_LT(s.height(), 16);      // one line
  // Overflow: only the lines that fit the 32-unit box remain.
  EXPECT_LE(b.bottom, 10 - 1 + 32 + 2);
  EXPECT_GT(b.height(), 16);  // still two lines
  // The first line is the same whether or not the box is cut.
  const auto firstTall = inkBox(tall, 40, 0, 0, 200, 20),
             firstShort = inkBox(shortBox, 40, 0, 0, 200, 20);
  EXPECT_EQ(firstTall.right, firstShort.right);
}

TEST(Text, ColourAndNothingForInvisibleOrInvalid) {
  Target c(200, 40);
  c.paint([](render::Canvas& p) { p.drawText(0, 0, 200, 40, 0xFF00FF00, 1, 0, 0, L"HHHH", true); });
  uint32_t strongest = 0;
  for (int y = 0; y < 40; ++y) {
    for (int x = 0; x < 200; ++x) strongest = std::max(strongest, c.at(x, y));
  }
  EXPECT_EQ(strongest, 0xFF00FF00u);

  Target none(200, 40);
  none.paint([](render::Canvas& p) {
    p.drawText(0, 0, 200, 40, 0x00FFFFFF, 1, 0, 0, L"HHHH", true);
    p.drawText(0, 0, 200, 40, 0xFFFFFFFF, 3, 0, 0, L"HHHH", true);
    p.drawText(0, 0, 200, 40, 0xFFFFFFFF, -1, 0, 0, L"HHHH", true);
    p.drawText(0, 0, 200, 40, 0xFFFFFFFF, 1, 0, 0, L"", true);
  });
  EXPECT_TRUE(inkBox(none, 0).empty());

  // Non-ASCII and invalid code points still draw (replacement glyph), embedded NUL is dropped.
  Target wide(200, 40);
  std::wstring odd = L"\u00DC";
  odd += wchar_t(0xD800);
  odd += wchar_t(0);
  odd += L"X";
  wide.paint([&](render::Canvas& p) { p.drawText(0, 0, 200, 40, 0xFFFFFFFF, 1, 0, 0, odd, true); });
  EXPECT_GT(inkBox(wide).width(), 12);

  // A box of absurd size still lays out (no arithmetic overflow) and draws the text.
  Target huge(200, 40);
  huge.paint([](render::Canvas& p) {
    p.drawText(0, 0, INT32_MAX, INT32_MAX, 0xFFFFFFFF, 1, 0, 1, L"HHHH", false);
  });
  EXPECT_FALSE(inkBox(huge).empty());
}

TEST(Text, HigherDpiEnlargesTheSameLayout) {
  auto scene = [](render::Canvas& p) {
    p.drawText(10, 10, 180, 30, 0xFFFFFFFF, 1, 1, 0, L"FIRMWARE VERSION 2.3.0", true);
  };
  Target one(200, 50, 96), big(200, 50, 144);
  one.paint(scene);
  big.paint(scene);
  const auto a = inkBox(one, 100), b = inkBox(big, 100);
  EXPECT_NEAR(b.width(), a.width() * 1.5, 2);
  EXPECT_NEAR(b.height(), a.height() * 1.5, 2);
  EXPECT_NEAR(b.centreX(), a.centreX() * 1.5, 1.5);
  EXPECT_NEAR(b.centreY(), a.centreY() * 1.5, 1.5);
}

}  // namespace
}  // namespace orq
