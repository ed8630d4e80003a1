// The paint pass painted offscreen: the hit-region table it leaves, what it draws in each state
// (through the paint trace: texts, colours, rectangles, picture and patches) and a few pixels
// of the real Cairo output.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/platform.h"
#include "assets/assets.h"
#include "render/offscreen.h"
#include "render/paint_trace.h"
#include "ui/panel_colours.h"
#include "ui/ui.h"

namespace orq {
namespace {

using namespace panel;
using render::ImageData;
using render::PaintOp;
using render::PaintTrace;
using Kind = PaintOp::Kind;

struct Rect {
  int32_t x, y, w, h;
  bool operator==(const Rect&) const = default;
};

class PanelTest : public ::testing::Test {
 protected:
  Platform platform{"Tarvik Editor", "com.tarvik.editor"};
  Ui ui{&platform};
  PaintTrace trace;

  // One paint into a new surface, recorded in `trace`.
  std::unique_ptr<render::OffscreenSurface> paint(int32_t w = 1024, int32_t h = 740) {
    trace.ops.clear();
    auto surface = std::make_unique<render::OffscreenSurface>(w, h);
    surface->paint([this](render::Canvas& canvas) {
      trace.next = &canvas;
      platform.paint(trace);
    });
    trace.next = nullptr;
    return surface;
  }

  Shared<int32_t>* block() { return ui.programBlocks[ui.program]; }

  void connect(int32_t model) {
    ui.linkState = kConnected;
    ui.modelKind = model;
    ui.deviceFirmwareVersion = 0x0203;
    block()[kReceived] = 1;
  }

  std::vector<const PaintOp*> ops(Kind kind) const {
    std::vector<const PaintOp*> out;
    for (const PaintOp& op : trace.ops) {
      if (op.kind == kind) out.push_back(&op);
    }
    return out;
  }
  // The last operation of a kind on exactly this rectangle (later operations cover earlier).
  const PaintOp* at(Kind kind, Rect r) const {
    const PaintOp* found = nullptr;
    for (const PaintOp& op : trace.ops) {
      if (op.kind == kind && Rect{op.x, op.y, op.width, op.height} == r) found = &op;
    }
    return found;
  }
  uint32_t fillColour(Rect r) const {
    const PaintOp* op = at(Kind::Fill, r);
    return op ? op->colour : 0;
  }
  const PaintOp* text(const std::wstring& t) const {
    for (const PaintOp& op : trace.ops) {
      if (op.kind == Kind::Text && op.text == t) return &op;
    }
    return nullptr;
  }
  std::vector<std::wstring> textsAt(int32_t x, int32_t y) const {
    std::vector<std::wstring> out;
    for (const PaintOp* op : ops(Kind::Text)) {
      if (op->x == x && op->y == y) out.push_back(op->text);
    }
    return out;
  }
  const HitRegion* record(uint32_t id, int32_t kind) const {
    for (const HitRegion& r : ui.hitRegions) {
      if (r.id == id && r.kind == kind) return &r;
    }
    return nullptr;
  }
  void hover(uint32_t id) {
    for (HitRegion& r : ui.hitRegions) {
      if (r.id == id && r.kind == 2) r.hovered = 1;
    }
  }
};

bool near(uint32_t a, uint32_t b, int tolerance = 2) {
  for (int shift = 0; shift < 32; shift += 8) {
    const int ca = static_cast<int>((a >> shift) & 0xFF);
    const int cb = static_cast<int>((b >> shift) & 0xFF);
    if (std::abs(ca - cb) > tolerance) return false;
  }
  return true;
}

// An opaque colour under the veil (black at alpha 160/255).
uint32_t veiled(uint32_t c) {
  auto ch = [](uint32_t v) { return (v * 95 + 127) / 255; };
  return 0xFF000000 | ch((c >> 16) & 0xFF) << 16 | ch((c >> 8) & 0xFF) << 8 | ch(c & 0xFF);
}

struct Expected {
  uint32_t id;
  int32_t kind;
  Rect rect;
};

// Controls that emit two records, with the kind emitted first.
struct Control {
  uint32_t id;
  Rect rect;
  int32_t firstKind;  // 2 or 3; the other follows
};

std::vector<Expected> expand(const std::vector<Control>& controls) {
  std::vector<Expected> out;
  for (const Control& c : controls) {
    if (c.firstKind == 7 || c.id == 57) {
      out.push_back({c.id, c.firstKind, c.rect});
      continue;
    }
    out.push_back({c.id, c.firstKind, c.rect});
    out.push_back({c.id, c.firstKind == 2 ? 3 : 2, c.rect});
  }
  return out;
}

// Every record at 1024 x 740 in the order of first emission: the panel with the browser closed,
// then the browser's records from a later paint with the list shown.
std::vector<Control> layout1024() {
  std::vector<Control> c = {
      {0, {173, 7, 70, 27}, 2},
      {57, {778, 7, 100, 27}, 3},
      {1, {907, 15, 11, 11}, 2},
      {2, {971, 15, 11, 11}, 2},
      {3, {527, 7, 220, 27}, 7},
      {4, {538, 15, 11, 11}, 2},
      {5, {725, 15, 11, 11}, 2},
      {6, {377, 51, 40, 20}, 2},
      {7, {507, 51, 40, 20}, 2},
      {9, {637, 51, 40, 20}, 2},
      {8, {767, 51, 40, 20}, 2},
      // channel 1, top 41
      {58, {7, 80, 44, 20}, 2},
      {59, {135, 80, 44, 20}, 2},
      {62, {7, 113, 44, 20}, 2},
      {64, {135, 113, 44, 20}, 2},
      {10, {8, 150, 12, 12}, 2},
      {16, {204, 144, 23, 23}, 3},
      {46, {226, 144, 23, 23}, 3},
      {11, {8, 181, 12, 12}, 2},
      {17, {204, 175, 23, 23}, 3},
      {47, {226, 175, 23, 23}, 3},
      {12, {8, 212, 12, 12}, 2},
      {18, {204, 206, 23, 23}, 3},
      {48, {226, 206, 23, 23}, 3},
      // channel 2, top 740 / 2 - 16 = 354
      {60, {7, 393, 44, 20}, 2},
      {61, {135, 393, 44, 20}, 2},
      {63, {7, 426, 44, 20}, 2},
      {65, {135, 426, 44, 20}, 2},
      {13, {8, 463, 12, 12}, 2},
      {19, {204, 457, 23, 23}, 3},
      {49, {226, 457, 23, 23}, 3},
      {14, {8, 494, 12, 12}, 2},
      {20, {204, 488, 23, 23}, 3},
      {50, {226, 488, 23, 23}, 3},
      {15, {8, 525, 12, 12}, 2},
      {21, {204, 519, 23, 23}, 3},
      {51, {226, 519, 23, 23}, 3},
      {66, {226, 690, 23, 23}, 3},
      // picture: R = 0.624, origin (325, 149)
      {54, {387, 560, 34, 34}, 3},
      {55, {618, 560, 34, 34}, 3},
      {56, {852, 560, 34, 34}, 3},
      {52, {438, 291, 21, 21}, 3},
      {53, {438, 414, 21, 21}, 3},
      // browser
      {24, {260, 685, 110, 27}, 2},
      {45, {380, 655, 40, 20}, 2},
      {25, {379, 685, 111, 27}, 2},
      {26, {290, 0, 170, 41}, 2},
      {22, {258, 15, 11, 11}, 2},
      {23, {481, 15, 11, 11}, 2},
  };
  for (uint32_t i = 0; i < 18; ++i) {
    c.push_back({27 + i, {250, 42 + 31 * static_cast<int32_t>(i), 250, 31}, 2});
  }
  return c;
}

void expectRegions(const Ui& ui, const std::vector<Expected>& expected) {
  ASSERT_EQ(ui.hitRegions.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    const HitRegion& r = ui.hitRegions[i];
    const Expected& e = expected[i];
    EXPECT_EQ(r.id, e.id) << "record " << i;
    EXPECT_EQ(r.kind, e.kind) << "record " << i << " id " << e.id;
    EXPECT_EQ((Rect{r.x, r.y, r.width, r.height}), e.rect) << "record " << i << " id " << e.id;
  }
}

// The palette with the layout's values. Every other test compares against these constants, so
// a wrong value here would pass everywhere else.
TEST(PanelPalette, ColoursAreTheLayoutsValues) {
  const struct {
    const char* name;
    uint32_t constant, layout;
  } colours[] = {
      {"background", kBackground, 0xFF030303},
      {"column", kColumn, 0xFF141416},
      {"header bar", kHeaderBar, 0xFF08080A},
      {"control box", kControlBox, 0xFF202022},
      {"track off", kTrackOff, 0xFF303032},
      {"label", kLabel, 0xFFBEBEBE},
      {"dim text", kDimText, 0xFF8C8C8E},
      {"icon idle", kIconIdle, 0xFF505050},
      {"white", kWhite, 0xFFF0F0F0},
      {"shade", kShade, 0x40000000},
      {"veil", kVeil, 0xA0000000},
      {"status text", kStatusText, 0xDC000000},
      {"list row even", kListRowEven, 0xFF1C1C1E},
      {"list row odd", kListRowOdd, 0xFF101012},
      // Per model: accent, header box and strip, logo ink, strip text, word-mark, titles.
      {"0 accent", kLooks[0].accent, 0xFFD2AE66},
      {"0 plate", kLooks[0].plate, 0xFFD2AE66},
      {"0 logo", kLooks[0].logoInk, 0xFF030303},
      {"0 strip", kLooks[0].stripText, 0x96000000},
      {"0 mark", kLooks[0].markInk, 0xFF141416},
      {"0 title", kLooks[0].titleInk, 0xFFD2AE66},
      {"1 accent", kLooks[1].accent, 0xFFC8C5C3},
      {"1 plate", kLooks[1].plate, 0xFFC8C5C3},
      {"1 logo", kLooks[1].logoInk, 0xFF712429},
      {"1 strip", kLooks[1].stripText, 0xFF712429},
      {"1 mark", kLooks[1].markInk, 0xFF712429},
      {"1 title", kLooks[1].titleInk, 0xFFC8C5C3},
      {"2 accent", kLooks[2].accent, 0xFFBE2816},
      {"2 plate", kLooks[2].plate, 0xFFF0F0F0},
      {"2 logo", kLooks[2].logoInk, 0xFFBE2816},
      {"2 strip", kLooks[2].stripText, 0xFFBE2816},
      {"2 mark", kLooks[2].markInk, 0xFFBE2816},
      {"2 title", kLooks[2].titleInk, 0xFFF0F0F0},
  };
  for (const auto& c : colours) EXPECT_EQ(c.constant, c.layout) << c.name;
}

TEST_F(PanelTest, HitRegionTableAt1024x740) {
  connect(1);
  paint();
  EXPECT_EQ(ui.hitRegions.size(), 84u);  // no browser records before the browser was shown
  ui.browserSlot = 1;
  ui.browserListMode = 1;
  paint();
  expectRegions(ui, expand(layout1024()));
  EXPECT_EQ(ui.hitRegions.size(), 132u);
}

TEST_F(PanelTest, HitRegionsFollowTheWindowSizeAndTheCcList) {
  connect(1);
  ui.browserSlot = 1;
  ui.browserListMode = 1;
  paint();
  ui.hitRegions[0].hovered = 1;  // hover bytes survive a paint that moves rectangles
  paint(1400, 1000);

  // Everything that depends on W, H or the picture scale, at 1400 x 1000 (I = 715, J = 315,
  // channel 2 at 484, CC bar at 946, R = 1 with the origin at (325, 120)).
  const std::map<uint32_t, Rect> moved = {
      {57, {1154, 7, 100, 27}}, {1, {1283, 15, 11, 11}},   {2, {1347, 15, 11, 11}},
      {3, {715, 7, 220, 27}},   {4, {726, 15, 11, 11}},    {5, {913, 15, 11, 11}},
      {6, {565, 51, 40, 20}},   {7, {695, 51, 40, 20}},    {9, {825, 51, 40, 20}},
      {8, {955, 51, 40, 20}},   {60, {7, 523, 44, 20}},    {61, {135, 523, 44, 20}},
      {63, {7, 556, 44, 20}},   {65, {135, 556, 44, 20}},  {13, {8, 593, 12, 12}},
      {19, {204, 587, 23, 23}}, {49, {226, 587, 23, 23}},  {14, {8, 624, 12, 12}},
      {20, {204, 618, 23, 23}}, {50, {226, 618, 23, 23}},  {15, {8, 655, 12, 12}},
      {21, {204, 649, 23, 23}}, {51, {226, 649, 23, 23}},  {66, {226, 950, 23, 23}},
      {54, {425, 780, 55, 55}}, {55, {795, 780, 55, 55}},  {56, {1170, 780, 55, 55}},
      {52, {507, 348, 35, 35}}, {53, {507, 545, 35, 35}},  {24, {260, 945, 110, 27}},
      {45, {380, 915, 40, 20}}, {25, {379, 945, 111, 27}},
  };
  std::vector<Control> controls = layout1024();
  for (Control& c : controls) {
    if (auto it = moved.find(c.id); it != moved.end()) c.rect = it->second;
  }
  expectRegions(ui, expand(controls));
  EXPECT_EQ(ui.hitRegions[0].hovered, 1);

  // The CC list open moves channel 2 to (1000 - 235) / 2 + 21 = 403 and its bar to 765.
  ui.ccListOpen = 1;
  paint(1400, 1000);
  EXPECT_EQ(record(60, 2)->y, 403 + 39);
  EXPECT_EQ(record(13, 3)->y, 403 + 99 + 10);
  EXPECT_EQ(record(66, 3)->y, 765 + 4);
  EXPECT_EQ(record(58, 2)->y, 80);  // channel 1 stays
}

TEST_F(PanelTest, PictureScaleReachesOneAndNoMore) {
  struct Case {
    int32_t w, h;
    float scale;
    Rect picture;  // in scaled units
    int32_t footswitch;
  };
  const Case cases[] = {
      {1024, 740, 0.624f, {520, 238, 1000, 850}, 34},
      {1399, 1000, 0.999f, {325, 120, 1000, 850}, 54},
      {1400, 999, 849.0f / 850.0f, {325, 120, 1000, 850}, 54},
      {1400, 1000, 1.0f, {325, 120, 1000, 850}, 55},
      {1920, 1080, 1.0f, {585, 160, 1000, 850}, 55},
  };
  connect(0);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.w << "x" << c.h);
    paint(c.w, c.h);
    const auto scales = ops(Kind::Scale);
    ASSERT_EQ(scales.size(), 2u);
    EXPECT_FLOAT_EQ(scales[0]->scale, c.scale);
    EXPECT_EQ(scales[1]->scale, 1.0f);
    const auto images = ops(Kind::Image);
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ((Rect{images[0]->x, images[0]->y, images[0]->width, images[0]->height}), c.picture);
    EXPECT_EQ(images[0]->data, assets::devicePicture(0).bytes);
    EXPECT_EQ(record(54, 3)->width, c.footswitch);
  }
}

TEST_F(PanelTest, ModelLooks) {
  struct Case {
    int32_t model;
    uint32_t accent, plate, logoInk, titleInk, stripText, markInk;
    const wchar_t* deepLabel;
    int mainEntries[3];
  };
  const Case cases[] = {
      {0,
       0xFFD2AE66,
       0xFFD2AE66,
       0xFF030303,
       0xFFD2AE66,
       0x96000000,
       0xFF141416,
       L"THUMP",
       {0, 1, 2}},
      {1,
       0xFFC8C5C3,
       0xFFC8C5C3,
       0xFF712429,
       0xFFC8C5C3,
       0xFF712429,
       0xFF712429,
       L"DEEP",
       {0, 3, 4}},
      {2,
       0xFFBE2816,
       0xFFF0F0F0,
       0xFFBE2816,
       0xFFF0F0F0,
       0xFFBE2816,
       0xFFBE2816,
       L"THUMP",
       {13, 14, 15}},
      {9,
       0xFFD2AE66,
       0xFFD2AE66,
       0xFF030303,
       0xFFD2AE66,
       0x96000000,
       0xFF141416,
       L"THUMP",
       {0, 1, 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "model " << c.model);
    connect(c.model);
    block()[kBoost1] = 1;
    ui.browserSlot = 1;
    ui.browserListMode = 1;
    const auto surface = paint();
    EXPECT_EQ(ui.accentColour, c.accent);
    EXPECT_EQ(fillColour({0, 0, 250, 41}), c.plate);
    EXPECT_EQ(at(Kind::Mask, {8, 8, 107, 25})->colour, c.logoInk);
    EXPECT_EQ(at(Kind::Mask, {8, 8, 107, 25})->data, assets::makerLogo().bytes);
    EXPECT_EQ(text(L"STORE")->colour, c.titleInk);
    EXPECT_EQ(at(Kind::Text, {33, 42, 217, 33})->colour, c.titleInk);   // CHANNEL 1
    EXPECT_EQ(at(Kind::Text, {33, 687, 217, 33})->colour, c.titleInk);  // MIDI CC LIST
    EXPECT_EQ(fillColour({0, 719, 1024, 21}), c.plate);
    EXPECT_EQ(text(L"POWERED BY")->colour, c.stripText);
    EXPECT_EQ(at(Kind::Mask, {919, 725, 93, 9})->colour, c.markInk);
    EXPECT_EQ(fillColour({507, 51, 40, 20}), c.accent);            // BOOST track, on
    EXPECT_EQ(at(Kind::Mask, {4, 46, 23, 23})->colour, c.accent);  // waveform
    EXPECT_EQ(textsAt(170, 80), std::vector<std::wstring>{c.deepLabel});
    for (int i = 0; i < kCatalogueSize; ++i) {
      const bool main = i == c.mainEntries[0] || i == c.mainEntries[1] || i == c.mainEntries[2];
      EXPECT_EQ(ui.catalogue[i].mainFlag, main ? 1 : 0) << "entry " << i;
      const std::wstring shown = ui.catalogue[i].name + (main ? L" (MAIN)" : L"");
      ASSERT_NE(at(Kind::Text, {280, 42 + 31 * i, 210, 31}), nullptr);
      EXPECT_EQ(at(Kind::Text, {280, 42 + 31 * i, 210, 31})->text, shown) << "entry " << i;
    }
    // The real pixels: the header box beside the logo and the bottom strip.
    EXPECT_TRUE(near(surface->pixel(150, 20), c.plate)) << std::hex << surface->pixel(150, 20);
    EXPECT_TRUE(near(surface->pixel(600, 735), c.plate));
    EXPECT_TRUE(near(surface->pixel(180, 45), kHeaderBar));  // left column clear of the veil
  }
}

TEST_F(PanelTest, StatusLineVeilAndConnectionBox) {
  struct Case {
    int32_t link, status;
    uint16_t deviceVersion, imageVersion;
    int32_t browser;
    std::vector<std::wstring> statusTexts;  // texts drawn at (10, H - 21)
    bool warning;
    Rect veil;  // w == 0: none
    const wchar_t* connection;
    uint32_t body;
  };
  const std::wstring fw = L"FIRMWARE VERSION 2.3.0";
  const Case cases[] = {
      {1, -1, 0x0203, 0, 0, {fw}, false, {0, 0, 0, 0}, L"CONNECTED", kLabel},
      {1, -1, 0x0203, 0, 3, {fw}, false, {250, 0, 774, 719}, L"CONNECTED", kLabel},
      {0, -1, 0x0203, 0, 0, {}, false, {0, 0, 1024, 719}, L"NO DEVICE", kColumn},
      {3, -1, 0x0203, 0, 0, {fw}, false, {0, 0, 1024, 719}, L"ERROR", kLabel},
      {2, 300, 0x0203, 0, 0, {L"READING..."}, false, {0, 0, 1024, 719}, L"CONNECTED", kLabel},
      {2, 200, 0x0203, 0, 0, {L"STORING..."}, false, {0, 0, 1024, 719}, L"CONNECTED", kLabel},
      {2,
       57,
       0x0102,
       0x0103,
       0,
       {L"57%", L"UPDATE IN PROGRESS... DO NOT POWER DOWN"},
       true,
       {0, 0, 1024, 719},
       L"CONNECTED",
       kLabel},
      {2, 57, 0x0103, 0x0103, 0, {L"57%"}, false, {0, 0, 1024, 719}, L"CONNECTED", kLabel},
      {2,
       100,
       0x0FFF,
       0x1000,
       0,
       {L"100%", L"UPDATE IN PROGRESS... DO NOT POWER DOWN"},
       true,
       {0, 0, 1024, 719},
       L"CONNECTED",
       kLabel},
      {2, 0, 0x0203, 0x0203, 0, {L"0%"}, false, {0, 0, 1024, 719}, L"CONNECTED", kLabel},
      // A failed export replaces the firmware text, with the browser open (where EXTRACT ALL is)
      // or closed, and is never read as a percentage.
      {1, 400, 0x0203, 0, 3, {L"EXPORT FAILED"}, false, {250, 0, 774, 719}, L"CONNECTED", kLabel},
      {1, 400, 0x0203, 0, 0, {L"EXPORT FAILED"}, false, {0, 0, 0, 0}, L"CONNECTED", kLabel},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "link " << c.link << " status " << c.status);
    ui.linkState = c.link;
    ui.statusCode = c.status;
    ui.deviceFirmwareVersion = c.deviceVersion;
    ui.imageFirmwareVersion = c.imageVersion;
    ui.browserSlot = c.browser;
    const auto surface = paint();
    EXPECT_EQ(textsAt(10, 719), c.statusTexts);
    if (!c.statusTexts.empty()) {
      const bool wide = c.statusTexts[0] == fw || c.status == orq::kStatusExportFailed;
      const PaintOp* first = at(Kind::Text, {10, 719, wide ? 280 : 80, 21});
      ASSERT_NE(first, nullptr);
      EXPECT_EQ(first->colour, kStatusText);
      EXPECT_TRUE(first->singleLine);
    }
    if (c.warning) {
      const PaintOp* w = at(Kind::Text, {10, 719, 1014, 21});
      ASSERT_NE(w, nullptr);
      EXPECT_EQ(w->hAlign, 1);
    }
    const PaintOp* veil = nullptr;
    for (const PaintOp* op : ops(Kind::Fill)) {
      if (op->colour == kVeil) veil = op;
    }
    if (c.veil.w == 0) {
      EXPECT_EQ(veil, nullptr);
    } else {
      ASSERT_NE(veil, nullptr);
      EXPECT_EQ((Rect{veil->x, veil->y, veil->width, veil->height}), c.veil);
    }
    EXPECT_EQ(at(Kind::Text, {260, 4, 100, 33})->text, c.connection);
    EXPECT_EQ(fillColour({260, 7, 120, 27}), c.body);
    // Pixels: the left column under a full veil is darkened, the connection box is not (the
    // open browser's header covers it).
    const uint32_t column = surface->pixel(100, 300);
    EXPECT_TRUE(near(column, c.veil.w == 1024 ? veiled(kColumn) : kColumn)) << std::hex << column;
    const uint32_t box = surface->pixel(263, 20);
    EXPECT_TRUE(near(box, c.browser == 0 ? c.body : kDimText)) << std::hex << box;
  }
  // With no device, the file the editor was started with says that it waits.
  ui.linkState = orq::kNoDevice;
  ui.statusCode = orq::kStatusIdle;
  ui.browserSlot = 0;
  ui.setGivenFile(L"/home/u/weekly.syx");
  paint();
  EXPECT_EQ(textsAt(10, 719), std::vector<std::wstring>{L"OPENS ONCE CONNECTED: weekly.syx"});
}

TEST_F(PanelTest, LedsAndSwitchPatchesOnThePicture) {
  struct Case {
    int32_t link, channel, lock, boost1, boost2, ir1, ir2;
    std::vector<std::pair<Rect, ImageData>> parts;  // source rect (destination is the same
                                                    // place on the picture) and overlay
  };
  const ImageData blue = assets::blueLedOverlay();
  const ImageData red = assets::redLedOverlay();
  const ImageData light1 = assets::switchOverlay(true, 1);
  const ImageData light2 = assets::switchOverlay(true, 2);
  const Case cases[] = {
      {1, 0, 0, 0, 0, 0, 0, {{{190, 105, 25, 25}, blue}}},
      {1,
       0,
       0,
       1,
       0,
       1,
       2,
       {{{182, 231, 40, 40}, light1},
        {{182, 430, 40, 40}, light2},
        {{190, 105, 25, 25}, blue},
        {{787, 105, 25, 25}, red}}},
      {1, 1, 0, 1, 0, 0, 0, {{{190, 305, 25, 25}, blue}}},  // channel 2's boost is off
      {1, 1, 0, 0, 1, 0, 0, {{{190, 305, 25, 25}, blue}, {{787, 305, 25, 25}, red}}},
      {1, 1, 1, 1, 0, 0, 0, {{{190, 305, 25, 25}, blue}, {{787, 305, 25, 25}, red}}},
      {1, 1, 1, 0, 1, 0, 0, {{{190, 305, 25, 25}, blue}}},  // locked: word 2 rules
      {0, 0, 0, 1, 1, 2, 1, {{{182, 231, 40, 40}, light2}, {{182, 430, 40, 40}, light1}}},
      {1, 0, 0, 0, 0, 3, -1, {{{190, 105, 25, 25}, blue}}},  // no patch outside 1..2
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "link " << c.link << " channel " << c.channel << " lock "
                                    << c.lock << " boosts " << c.boost1 << c.boost2);
    connect(1);
    ui.linkState = c.link;
    ui.boostLock = c.lock;
    block()[kActiveChannel] = c.channel;
    block()[kBoost1] = c.boost1;
    block()[kBoost2] = c.boost2;
    block()[kIrSelect1] = c.ir1;
    block()[kIrSelect2] = c.ir2;
    const auto surface = paint();
    const auto parts = ops(Kind::ImagePart);
    ASSERT_EQ(parts.size(), c.parts.size());
    for (size_t i = 0; i < parts.size(); ++i) {
      const Rect src = c.parts[i].first;
      EXPECT_EQ((Rect{parts[i]->sx, parts[i]->sy, parts[i]->sw, parts[i]->sh}), src);
      EXPECT_EQ((Rect{parts[i]->x, parts[i]->y, parts[i]->width, parts[i]->height}),
                (Rect{520 + src.x, 238 + src.y, src.w, src.h}));
      EXPECT_EQ(parts[i]->data, c.parts[i].second.bytes);
    }
    // The BOOST switch follows the same boost word as the LED.
    const bool boostOn = (c.lock == 1 ? c.boost1 : c.channel == 0 ? c.boost1 : c.boost2) == 1;
    EXPECT_EQ(fillColour({507, 51, 40, 20}), boostOn ? kSilver : kTrackOff);
  }
}

TEST_F(PanelTest, LedPixelsShowOnlyWithADevice) {
  // Channel 1's blue LED sits at picture (202, 117): window ((520 + 202) * 0.624,
  // (238 + 117) * 0.624) = (450, 221).
  connect(0);
  const auto lit = paint();
  const uint32_t on = lit->pixel(450, 221);
  ui.linkState = kNoDevice;
  const auto dark = paint();
  const uint32_t off = dark->pixel(450, 221);
  EXPECT_NE(on, off);
  EXPECT_GT(on & 0xFF, (on >> 16) & 0xFF) << std::hex << on;  // blue over red
}

TEST_F(PanelTest, NumbersNamesAndLabels) {
  connect(1);
  struct ChannelCase {
    int32_t channel;
    const wchar_t* shown;
  };
  for (const ChannelCase& c : {ChannelCase{0, L"OMNI"}, {1, L"1"}, {16, L"16"}}) {
    ui.midiChannel = c.channel;
    paint();
    EXPECT_EQ(at(Kind::Text, {915, 4, 59, 33})->text, c.shown);
  }
  for (int32_t p : {0, 127}) {
    ui.program = p;
    block()[kReceived] = 1;
    paint();
    EXPECT_EQ(at(Kind::Text, {677, 4, 50, 33})->text, std::to_wstring(p));
  }
  ui.program = 0;

  struct SlotCase {
    const wchar_t* name;
    const wchar_t* shown;
  };
  const SlotCase slots[6] = {
      {L"C:\\IRS\\MY CAB.WAV", L"MY CAB.WAV"}, {L"", L"NO IR SELECTED"},    {L"A/B\\C", L"C"},
      {L"GREEN 4X12", L"GREEN 4X12"},          {L"D:/X/Y.WAVE", L"Y.WAVE"}, {L"TRAILING/", L""},
  };
  for (int s = 0; s < 6; ++s) ui.setSlotName(s, slots[s].name);
  paint();
  for (int s = 0; s < 6; ++s) {
    const int32_t y = (s < 3 ? 41 : 354) + 99 + 31 * (s % 3);
    const PaintOp* op = at(Kind::Text, {33, y, 174, 31});
    ASSERT_NE(op, nullptr);
    EXPECT_EQ(op->text, slots[s].shown) << "slot " << s;
    EXPECT_TRUE(op->singleLine);
  }
  // The CHANNEL switch names the active channel.
  EXPECT_EQ(at(Kind::Text, {423, 51, 75, 20})->text, L"CHANNEL 1");
  block()[kActiveChannel] = 1;
  paint();
  EXPECT_EQ(at(Kind::Text, {423, 51, 75, 20})->text, L"CHANNEL 2");
}

TEST_F(PanelTest, SwitchKnobsCurvesAndGateLabels) {
  connect(1);
  struct Case {
    int32_t value;
    int32_t threeWayKnobX;  // presence of channel 1 at x 7
    int lowpassCurve;
    int32_t gateKnobX;  // gate of channel 1 at x 135
    const wchar_t* gateLabel;
  };
  const Case cases[] = {
      {0, 19, 1, 135, L"GATE OFF"}, {1, 7, 1, 143, L"GATE 20%"},  {2, 19, 2, 151, L"GATE 50%"},
      {3, 31, 3, 159, L"GATE 80%"}, {4, 19, 1, 167, L"GATE 80%"}, {5, 19, 1, 175, L"GATE 80%"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "value " << c.value);
    block()[kPresence1] = c.value;
    block()[kLowpass1] = c.value;
    block()[kGate1] = c.value;
    paint();
    // Active section: knob white on an accent track.
    EXPECT_EQ(fillColour({c.threeWayKnobX, 80, 20, 20}), kWhite);
    EXPECT_EQ(fillColour({7, 80, 44, 20}), kSilver);
    EXPECT_EQ(at(Kind::Mask, {59, 114, 48, 20})->data, assets::lowpassCurve(c.lowpassCurve).bytes);
    EXPECT_EQ(fillColour({c.gateKnobX, 113, 20, 20}), kWhite);
    EXPECT_EQ(at(Kind::Text, {170, 113, 80, 20})->text, c.gateLabel);
  }
  // The inactive section: track off, knob in label colour; its lamp is dark.
  EXPECT_EQ(fillColour({7, 393, 44, 20}), kTrackOff);
  EXPECT_EQ(fillColour({229, 364, 14, 14}), kColumn);
  EXPECT_EQ(fillColour({229, 51, 14, 14}), kLabel);
  block()[kIrBypass] = 1;  // IR bypass darkens the lamp of the active section too
  paint();
  EXPECT_EQ(fillColour({229, 51, 14, 14}), kColumn);
}

TEST_F(PanelTest, HoverHighlightsAndLitIcons) {
  connect(1);
  ui.browserSlot = 5;  // slot index 4: channel 2, row 1
  paint();
  EXPECT_EQ(fillColour({173, 7, 70, 27}), kBackground);
  EXPECT_EQ(at(Kind::Mask, {226, 488, 23, 23})->colour, kSilver);  // lit "+"
  EXPECT_EQ(at(Kind::Mask, {226, 457, 23, 23})->colour, kIconIdle);
  EXPECT_EQ(at(Kind::Mask, {204, 144, 23, 23})->colour, kIconIdle);
  for (uint32_t id : {0u, 1u, 16u, 49u, 6u, 11u}) hover(id);
  const auto surface = paint();
  EXPECT_EQ(fillColour({173, 7, 70, 27}), kWhite);
  EXPECT_EQ(text(L"STORE")->colour, kColumn);
  EXPECT_EQ(at(Kind::Mask, {907, 15, 11, 11})->colour, kWhite);
  EXPECT_EQ(at(Kind::Mask, {971, 15, 11, 11})->colour, kDimText);
  EXPECT_EQ(at(Kind::Mask, {204, 144, 23, 23})->colour, kLabel);
  EXPECT_EQ(at(Kind::Mask, {226, 457, 23, 23})->colour, kLabel);
  EXPECT_EQ(fillColour({377, 51, 20, 20}), kWhite);   // CHANNEL knob, off but hovered
  EXPECT_EQ(fillColour({8, 181, 12, 12}), kDimText);  // radio of row 1, not selected
  EXPECT_EQ(fillColour({8, 150, 12, 12}), kLabel);    // row 0, selected
  EXPECT_TRUE(near(surface->pixel(180, 20), kWhite)) << std::hex << surface->pixel(180, 20);
}

TEST_F(PanelTest, BrowserListAndDescription) {
  connect(0);
  ui.browserSlot = 2;
  ui.catalogueIndex = 4;
  ui.browserListMode = 0;
  const auto described = paint();
  const PaintOp* description = at(Kind::Text, {258, 50, 234, 234});
  ASSERT_NE(description, nullptr);
  EXPECT_EQ(description->text, ui.catalogue[4].description);
  EXPECT_FALSE(description->singleLine);
  EXPECT_EQ(description->vAlign, 1);
  EXPECT_EQ(description->style, 2);
  EXPECT_EQ(at(Kind::Text, {260, 0, 230, 41})->text, ui.catalogue[4].name);
  EXPECT_EQ(at(Kind::Text, {280, 42, 210, 31}), nullptr);  // no list rows
  EXPECT_EQ(fillColour({250, 41, 250, 678}), kBackground);
  EXPECT_EQ(fillColour({380, 655, 40, 20}), kTrackOff);  // AUDITION off
  EXPECT_EQ(fillColour({379, 685, 111, 27}), kGold);     // SELECT

  ui.browserListMode = 1;
  ui.audition = 1;
  paint();
  EXPECT_EQ(at(Kind::Text, {258, 50, 234, 234}), nullptr);
  for (int i = 0; i < kCatalogueSize; ++i) {
    const int32_t y = 42 + 31 * i;
    EXPECT_EQ(fillColour({250, y, 250, 31}), i % 2 == 0 ? kListRowEven : kListRowOdd);
    EXPECT_EQ(fillColour({258, y + 10, 12, 12}), i == 4 ? kGold : kBackground);
    EXPECT_EQ(at(Kind::Text, {280, y, 210, 31})->colour, i == 4 ? kGold : kDimText);
  }
  EXPECT_EQ(fillColour({380, 655, 40, 20}), kGold);  // AUDITION on
  EXPECT_EQ(at(Kind::Text, {260, 0, 230, 41})->text, ui.catalogue[4].name);
  ui.catalogueIndex = 1;
  paint();
  EXPECT_EQ(at(Kind::Text, {260, 0, 230, 41})->text, ui.catalogue[1].name + L" (MAIN)");
  // The browser body covers the picture: no veil over the left column.
  EXPECT_TRUE(near(described->pixel(100, 300), kColumn));
  EXPECT_TRUE(near(described->pixel(300, 400), kBackground));
}

TEST_F(PanelTest, CcListLegend) {
  connect(1);
  paint();
  EXPECT_EQ(text(L"CC 24 CHANNEL"), nullptr);
  ui.ccListOpen = 1;
  paint();
  const std::pair<const wchar_t*, const wchar_t*> rows[9] = {
      {L"CC 24 CHANNEL", L"0 - 127 - TOGGLE"},
      {L"CC 25 BOOST", L"0 - 127 - TOGGLE"},
      {L"CC 26 LOOP BYPASS", L"0 - 127 - TOGGLE"},
      {L"CC 27 IR BYPASS", L"0 - 127 - TOGGLE"},
      {L"CC 28 IR", L"0 - 1 - 2"},
      {L"CC 29 PRESENCE", L"0 - 1 - 2"},
      {L"CC 30 DEEP", L"0 - 1 - 2"},
      {L"CC 31 LOWPASS", L"0 - 1 - 2"},
      {L"CC 33 GATE", L"0 - 1 - 2 - 3"},
  };
  for (int i = 0; i < 9; ++i) {
    const int32_t y = 505 + 35 + 19 * i;
    const std::vector<std::wstring> expected = {rows[i].first, rows[i].second};
    EXPECT_EQ(textsAt(12, y), expected) << "row " << i;
  }
  EXPECT_EQ(at(Kind::Mask, {226, 509, 23, 23})->colour, kSilver);  // expander lit
  EXPECT_EQ(text(L"CHANNEL 2")->y, 274);
}

TEST_F(PanelTest, OutOfRangeStateNeverIndexesOutside) {
  // Values a faulty report could leave behind: the paint must stay inside its arrays.
  connect(0);
  ui.program = 300;
  ui.catalogueIndex = -5;
  ui.browserSlot = 1;
  ui.programBlocks[127][kActiveChannel] = 9;
  ui.programBlocks[127][kBoost2] = 1;
  ui.programBlocks[127][kGate1] = 2000000000;
  paint();
  EXPECT_EQ(at(Kind::Text, {677, 4, 50, 33})->text, L"300");
  EXPECT_EQ(at(Kind::Text, {260, 0, 230, 41})->text, ui.catalogue[0].name + L" (MAIN)");
  EXPECT_EQ(fillColour({507, 51, 40, 20}), kGold);  // channel "9" counts as channel 2
}

TEST_F(PanelTest, TinySurfaceLeavesThePictureOut) {
  connect(0);
  paint(300, 200);
  EXPECT_TRUE(ops(Kind::Image).empty());
  EXPECT_TRUE(ops(Kind::Scale).empty());
  EXPECT_EQ(record(54, 3), nullptr);
}

}  // namespace
}  // namespace orq
