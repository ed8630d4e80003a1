// The "RI"/"RM" readers, the premultiplied pixel conversion, colour words and UTF-8 text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "files/utf8.h"
#include "render/image_format.h"
#include "render_test_util.h"

namespace orq::render {
namespace {

TEST(ImageFormat, ReadersAcceptOnlyMatchingTagAndExactSize) {
  auto ri = test::blob('I', 3, 2, 4);
  auto rm = test::blob('M', 3, 2, 1);
  auto riShort = ri;
  riShort.resize(ri.size() - 1);
  auto riLong = ri;
  riLong.push_back(0);
  auto bad = ri;
  bad[0] = 'X';
  auto zeroWide = test::blob('I', 0, 2, 4);
  struct Case {
    const char* what;
    render::ImageData data;
    bool colour;
    bool accepted;
  } cases[] = {
      {"RI as image", test::data(ri), true, true},
      {"RM as mask", test::data(rm), false, true},
      {"RM as image", test::data(rm), true, false},
      {"RI as mask", test::data(ri), false, false},
      {"one byte short", test::data(riShort), true, false},
      {"one byte long", test::data(riLong), true, false},
      {"first byte not R", test::data(bad), true, false},
      {"null pointer", render::ImageData{nullptr, ri.size()}, true, false},
      {"shorter than header", render::ImageData{ri.data(), 3}, true, false},
      {"zero width", test::data(zeroWide), true, false},
  };
  for (const auto& c : cases) {
    ImageView view;
    const bool ok = c.colour ? readColourImage(c.data, view) : readMask(c.data, view);
    EXPECT_EQ(ok, c.accepted) << c.what;
    if (ok) {
      EXPECT_EQ(view.width, 3) << c.what;
      EXPECT_EQ(view.height, 2) << c.what;
      EXPECT_EQ(view.pixels, c.data.bytes + 6) << c.what;
    }
  }
}

TEST(ImageFormat, SidesAreLittleEndian) {
  auto rm = test::blob('M', 0x0102, 3, 1);  // 258 x 3
  ImageView view;
  ASSERT_TRUE(readMask(test::data(rm), view));
  EXPECT_EQ(view.width, 258);
  EXPECT_EQ(view.height, 3);
}

TEST(ImageFormat, ColourPixelsBecomePremultipliedArgbWords) {
  // R, G, B, A bytes in; one row of three pixels, the last one invalid (red above alpha).
  auto ri = test::blob('I', 3, 1, 4);
  const uint8_t px[] = {10, 20, 30, 40, 255, 255, 255, 255, 200, 0, 7, 100};
  std::copy(std::begin(px), std::end(px), ri.begin() + 6);
  ImageView view;
  ASSERT_TRUE(readColourImage(test::data(ri), view));
  std::vector<uint32_t> out(5, 0xDEADBEEF);  // stride 20 bytes: two words of padding
  copyToPremultipliedArgb(view, reinterpret_cast<uint8_t*>(out.data()), 20);
  EXPECT_EQ(out[0], 0x280A141Eu);
  EXPECT_EQ(out[1], 0xFFFFFFFFu);
  EXPECT_EQ(out[2], 0x64640007u);  // red clamped to alpha
  EXPECT_EQ(out[3], 0xDEADBEEFu);  // padding untouched
}

TEST(ImageFormat, PremultipliedWordsReadBackAsStraightAlpha) {
  // Rounded to nearest, transparent is 0 whatever its colour, a component above alpha is 255.
  EXPECT_EQ(straightArgb(0x280A141Eu), 0x284080BFu);  // 10, 20, 30 over 40
  EXPECT_EQ(straightArgb(0x80402010u), 0x80804020u);
  EXPECT_EQ(straightArgb(0x00FFFFFFu), 0u);
  EXPECT_EQ(straightArgb(0x64C80007u), 0x64FF0012u);
}

// One wide character of any value, converted at run time (the values beyond 16 bits are asked
// for only where wchar_t holds them).
std::wstring unit(long value) {
  return std::wstring(1, static_cast<wchar_t>(value));
}

TEST(Utf8, WideTextConvertsAndInvalidCodePointsAreReplaced) {
  struct Case {
    std::wstring in;
    std::string out;
  };
  std::vector<Case> cases = {
      {L"GATE 50%", "GATE 50%"},
      {std::wstring(1, wchar_t(0xE9)), "\xC3\xA9"},
      {std::wstring(1, wchar_t(0x20AC)), "\xE2\x82\xAC"},
      {L"\U0001F3B8", "\xF0\x9F\x8E\xB8"},  // one unit of UTF-32, a pair of UTF-16
      {std::wstring(1, wchar_t(0xD800)), "\xEF\xBF\xBD"},
      {std::wstring(L"A") + wchar_t(0x7FF) + wchar_t(0x800), "A\xDF\xBF\xE0\xA0\x80"},
  };
  if constexpr (sizeof(wchar_t) == 4) {
    cases.push_back({unit(0x110000), "\xEF\xBF\xBD"});
    cases.push_back({unit(-5), "\xEF\xBF\xBD"});
  } else {
    // UTF-16: a low surrogate first, or a high one last, stands alone.
    cases.push_back({std::wstring{wchar_t(0xDC00), wchar_t(0xD800)}, "\xEF\xBF\xBD\xEF\xBF\xBD"});
    cases.push_back({std::wstring{L'x', wchar_t(0xDBFF)}, "x\xEF\xBF\xBD"});
  }
  for (const auto& c : cases) EXPECT_EQ(toUtf8(c.in), c.out);
}

}  // namespace
}  // namespace orq::render
