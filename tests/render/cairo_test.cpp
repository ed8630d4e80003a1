// What only the Cairo backend has: the matrix its caller's context brings (the base that
// setScale multiplies), and its cache of decoded images (one decode per stored blob, and a blob
// rewritten in place is decoded again).
#include <gtest/gtest.h>

#include <algorithm>

#include "render/render_cairo.h"
#include "render_test_util.h"

namespace orq {
namespace {

using test::Target;

TEST(SetScale, ScalesAboutTheFrameBaseAndOneRestoresIt) {
  // The backend's own matrix (here a translation, as a GTK widget's context carries) is the
  // base: scale multiplies it and factor 1 returns to it, never to the identity.
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 100, 100);
  cairo_t* cr = cairo_create(s);
  cairo_translate(cr, 5, 7);
  float factor = 1;
  int32_t w = 0, h = 0;
  auto draw = [&](render::Canvas& p) {
    p.surfaceSize(w, h);
    p.setScale(factor);
    p.fillRect(10, 10, 10, 10, 0, 0xFFFFFFFF);
    p.setScale(1);
    p.fillRect(0, 0, 2, 2, 0, 0xFF0000FF);
  };
  struct Case {
    float factor;
    int x0, x1;  // first and one-past-last white column on row 7 + 2 * 10 ... (by factor)
  } cases[] = {{1, 15, 25}, {2, 25, 45}, {0.5f, 10, 15}};
  for (const auto& k : cases) {
    factor = k.factor;
    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    cairo_paint(cr);
    cairo_restore(cr);
    render::paintFrame(cr, 95, 93, draw);
    cairo_surface_flush(s);
    auto* px = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(s));
    const int stride = cairo_image_surface_get_stride(s) / 4;
    const int row = 7 + static_cast<int>(15 * k.factor);
    EXPECT_EQ(px[row * stride + k.x0 - 1], 0u) << k.factor;
    EXPECT_EQ(px[row * stride + k.x0], 0xFFFFFFFFu) << k.factor;
    EXPECT_EQ(px[row * stride + k.x1 - 1], 0xFFFFFFFFu) << k.factor;
    EXPECT_EQ(px[row * stride + k.x1], 0u) << k.factor;
    EXPECT_EQ(px[8 * stride + 6], 0xFF0000FFu) << k.factor;  // factor 1 = base, translated
    EXPECT_EQ(px[0], 0u) << k.factor;
    EXPECT_EQ(w, 95);
    EXPECT_EQ(h, 93);
  }
  // The paint leaves the backend's context as it found it, whatever setScale did last.
  render::paintFrame(cr, 95, 93, [](render::Canvas& p) { p.setScale(3); });
  cairo_matrix_t m;
  cairo_get_matrix(cr, &m);
  EXPECT_EQ(m.xx, 1);
  EXPECT_EQ(m.x0, 5);
  EXPECT_EQ(m.y0, 7);
  EXPECT_EQ(cairo_status(cr), CAIRO_STATUS_SUCCESS);
  cairo_destroy(cr);
  cairo_surface_destroy(s);
}

std::vector<uint8_t> quadrants() {
  const uint32_t colours[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};
  return test::colourImage(2, 2, [&](int x, int y) { return colours[y * 2 + x]; });
}

TEST(DrawImage, CachedDecodeIsReusedAndNoticesRewrittenData) {
  render::clearImageCache();
  auto img = quadrants();
  Target c(20, 20);
  c.paint([&](render::Canvas& p) {
    p.drawImage(0, 0, 20, 20, test::data(img));
    p.drawImage(0, 0, 20, 20, test::data(img));
  });
  EXPECT_EQ(render::cachedImageCount(), 1);
  // Same address, new content: the stale decode must not be shown. The bytes are rewritten in
  // place, since assigning a new vector would move the data elsewhere.
  const uint8_t* const address = img.data();
  const auto grey = test::colourImage(2, 2, [](int, int) { return 0xFF101010u; });
  ASSERT_EQ(grey.size(), img.size());
  std::copy(grey.begin(), grey.end(), img.begin());
  ASSERT_EQ(img.data(), address);
  c.paint([&](render::Canvas& p) { p.drawImage(0, 0, 20, 20, test::data(img)); });
  EXPECT_EQ(c.at(2, 2), 0xFF101010u);
  render::clearImageCache();
  EXPECT_EQ(render::cachedImageCount(), 0);
}

}  // namespace
}  // namespace orq
