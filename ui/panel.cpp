// The paint pass: draws the whole panel from the editor state on every Paint event and leaves
// behind the hit regions that pointer input tests. Nothing here changes a device setting; the
// pass writes only hitRegions, accentColour and the catalogue's mainFlag values.
//
// Sections: drawing helpers | model look | top bar | switch row | left column (channel
// sections, CC list) | device picture | bottom strip, status line, connection box | browser.
#include <algorithm>
#include <cstdint>
#include <string>

#include "assets/assets.h"
#include "ui/paint_trace.h"
#include "ui/panel_colours.h"
#include "ui/ui.h"

namespace orq {

namespace {

using namespace panel;

PaintTrace* gTrace = nullptr;  // user-interface thread only

enum Style : int32_t { kSmall = 0, kMedium = 1, kLarge = 2 };
enum HAlign : int32_t { kLeading = 0, kCentre = 1, kTrailing = 2 };
enum VAlign : int32_t { kMiddle = 0, kTop = 1, kBottom = 2 };
enum Kind : int32_t { kHover = 2, kPress = 3, kWheel = 7 };

// The Platform's drawing operations, each also appended to an installed trace.
class Painter {
 public:
  explicit Painter(Platform& platform) : p_(platform), trace_(gTrace) {}

  void fill(int32_t x, int32_t y, int32_t w, int32_t h, int32_t radius, uint32_t colour) {
    if (trace_) {
      PaintOp& op = record(PaintOp::Kind::Fill, x, y, w, h);
      op.radius = radius;
      op.colour = colour;
    }
    p_.fillRect(x, y, w, h, radius, colour);
  }
  void text(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t colour, int32_t style,
            int32_t hAlign, int32_t vAlign, const std::wstring& text, bool singleLine) {
    if (trace_) {
      PaintOp& op = record(PaintOp::Kind::Text, x, y, w, h);
      op.colour = colour;
      op.style = style;
      op.hAlign = hAlign;
      op.vAlign = vAlign;
      op.text = text;
      op.singleLine = singleLine;
    }
    p_.drawText(x, y, w, h, colour, style, hAlign, vAlign, text, singleLine);
  }
  void mask(int32_t x, int32_t y, int32_t w, int32_t h, ImageData mask, uint32_t colour) {
    if (trace_) {
      PaintOp& op = record(PaintOp::Kind::Mask, x, y, w, h);
      op.colour = colour;
      op.data = mask.bytes;
    }
    p_.drawMask(x, y, w, h, mask, colour);
  }
  void image(int32_t x, int32_t y, int32_t w, int32_t h, ImageData image) {
    if (trace_) record(PaintOp::Kind::Image, x, y, w, h).data = image.bytes;
    p_.drawImage(x, y, w, h, image);
  }
  void imagePart(int32_t sx, int32_t sy, int32_t sw, int32_t sh, int32_t dx, int32_t dy, int32_t dw,
                 int32_t dh, ImageData image) {
    if (trace_) {
      PaintOp& op = record(PaintOp::Kind::ImagePart, dx, dy, dw, dh);
      op.sx = sx;
      op.sy = sy;
      op.sw = sw;
      op.sh = sh;
      op.data = image.bytes;
    }
    p_.drawImagePart(sx, sy, sw, sh, dx, dy, dw, dh, image);
  }
  void scale(float factor) {
    if (trace_) record(PaintOp::Kind::Scale, 0, 0, 0, 0).scale = factor;
    p_.setScale(factor);
  }

 private:
  PaintOp& record(PaintOp::Kind kind, int32_t x, int32_t y, int32_t w, int32_t h) {
    PaintOp& op = trace_->ops.emplace_back();
    op.kind = kind;
    op.x = x;
    op.y = y;
    op.width = w;
    op.height = h;
    return op;
  }

  Platform& p_;
  PaintTrace* trace_;
};

// Fixed texts, made once so that a paint builds only the strings that change.
const std::wstring kStore = L"STORE";
const std::wstring kOmni = L"OMNI";
const std::wstring kBoostLock = L"BOOST LOCK";
const std::wstring kProgramChange = L"PROGRAM CHANGE";
const std::wstring kChannelTitle[2] = {L"CHANNEL 1", L"CHANNEL 2"};
const std::wstring kBoost = L"BOOST";
const std::wstring kLoopBypassText = L"LOOP BYPASS";
const std::wstring kIrBypassText = L"IR BYPASS";
const std::wstring kPresence = L"PRESENCE";
const std::wstring kDeep = L"DEEP";
const std::wstring kThump = L"THUMP";
const std::wstring kGateText[4] = {L"GATE OFF", L"GATE 20%", L"GATE 50%", L"GATE 80%"};
const std::wstring kNoIr = L"NO IR SELECTED";
const std::wstring kCcListTitle = L"MIDI CC LIST";
const std::wstring kCcNames[9] = {L"CC 24 CHANNEL",   L"CC 25 BOOST",   L"CC 26 LOOP BYPASS",
                                  L"CC 27 IR BYPASS", L"CC 28 IR",      L"CC 29 PRESENCE",
                                  L"CC 30 DEEP",      L"CC 31 LOWPASS", L"CC 33 GATE"};
const std::wstring kToggleRange = L"0 - 127 - TOGGLE";
const std::wstring kThreeRange = L"0 - 1 - 2";
const std::wstring kGateRange = L"0 - 1 - 2 - 3";
const std::wstring* const kCcRanges[9] = {&kToggleRange, &kToggleRange, &kToggleRange,
                                          &kToggleRange, &kThreeRange,  &kThreeRange,
                                          &kThreeRange,  &kThreeRange,  &kGateRange};
const std::wstring kPoweredBy = L"POWERED BY";
const std::wstring kStoring = L"STORING...";
const std::wstring kReading = L"READING...";
const std::wstring kExportFailed = L"EXPORT FAILED";
const std::wstring kUpdateWarning = L"UPDATE IN PROGRESS... DO NOT POWER DOWN";
const std::wstring kNoDeviceText = L"NO DEVICE";
const std::wstring kErrorText = L"ERROR";
const std::wstring kConnectedText = L"CONNECTED";
const std::wstring kExtractAll = L"EXTRACT ALL";
const std::wstring kAudition = L"AUDITION";
const std::wstring kSelect = L"SELECT";
const std::wstring kMainSuffix = L" (MAIN)";

// Scratch strings reused from paint to paint (user-interface thread only): after the first
// paint they hold enough capacity, so numbers and names cost no allocation.
std::wstring gScratch;
std::wstring gSlotScratch;

void appendDecimal(std::wstring& out, int64_t v) {
  if (v < 0) {
    out.push_back(L'-');
    v = -v;
  }
  wchar_t digits[24];
  int n = 0;
  do {
    digits[n++] = static_cast<wchar_t>(L'0' + v % 10);
    v /= 10;
  } while (v > 0);
  while (n > 0) out.push_back(digits[--n]);
}

const std::wstring& decimal(int64_t v) {
  gScratch.clear();
  appendDecimal(gScratch, v);
  return gScratch;
}

// "FIRMWARE VERSION 2.3.0" for 0x0203.
const std::wstring& firmwareText(uint16_t version) {
  gScratch.assign(L"FIRMWARE VERSION ");
  appendDecimal(gScratch, version >> 8);
  gScratch.push_back(L'.');
  appendDecimal(gScratch, version & 0xFF);
  gScratch.append(L".0");
  return gScratch;
}

const std::wstring& entryTitle(const CatalogueEntry& entry) {
  gScratch.assign(entry.name);
  if (entry.mainFlag != 0) gScratch.append(kMainSuffix);
  return gScratch;
}

// The part of a slot name after its last '\' or '/'.
const std::wstring& slotDisplayName(const std::wstring& name) {
  if (name.empty()) return kNoIr;
  const size_t cut = name.find_last_of(L"\\/");
  if (cut == std::wstring::npos) return name;
  gSlotScratch.assign(name, cut + 1, std::wstring::npos);
  return gSlotScratch;
}

int32_t clampToInt32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// Width and height from an "RI" header; the stored pictures are 1000 x 850.
void pictureSize(ImageData picture, int32_t& width, int32_t& height) {
  width = 1000;
  height = 850;
  if (picture.bytes && picture.size >= 6 && picture.bytes[0] == 'R' && picture.bytes[1] == 'I') {
    const int32_t w = picture.bytes[2] | (picture.bytes[3] << 8);
    const int32_t h = picture.bytes[4] | (picture.bytes[5] << 8);
    if (w > 0 && h > 0) {
      width = w;
      height = h;
    }
  }
}

// Common control shapes.

void twoWaySwitch(Painter& g, int32_t x, int32_t y, bool on, bool hovered, uint32_t accent) {
  g.fill(x, y, 40, 20, 10, on ? accent : kTrackOff);
  g.fill(on ? x + 20 : x, y, 20, 20, 10, on || hovered ? kWhite : kLabel);
}

void threeWaySwitch(Painter& g, int32_t x, int32_t y, int32_t value, bool active, uint32_t accent) {
  const int32_t s = value == 1 ? -1 : value == 3 ? 1 : 0;
  g.fill(x, y, 110, 20, 10, kControlBox);
  g.fill(x, y, 44, 20, 10, active ? accent : kTrackOff);
  g.fill(x + 12 + 12 * s, y, 20, 20, 10, active ? kWhite : kLabel);
}

void gateSwitch(Painter& g, int32_t x, int32_t y, int32_t value, bool active, uint32_t accent) {
  g.fill(x, y, 110, 20, 10, kControlBox);
  g.fill(x, y, 44, 20, 10, active ? accent : kTrackOff);
  g.fill(clampToInt32(int64_t{x} + 8 * int64_t{value}), y, 20, 20, 10, active ? kWhite : kLabel);
}

}  // namespace

void setPaintTrace(PaintTrace* trace) {
  gTrace = trace;
}
PaintTrace* paintTrace() {
  return gTrace;
}

void Ui::paint() {
  if (!platform) return;
  Painter g(*platform);
  int32_t W = 0;
  int32_t H = 0;
  platform->surfaceSize(W, H);

  // A coherent copy of the state this paint shows; the worker may write while we draw.
  const int32_t link = linkState;
  const int32_t status = statusCode;
  const uint16_t deviceVersion = deviceFirmwareVersion;
  const uint16_t imageVersion = imageFirmwareVersion;
  const int32_t prog = program;
  const int32_t channelNumber = midiChannel;
  const int32_t lock = boostLock;
  const int32_t browser = browserSlot;
  const int32_t ccOpen = ccListOpen;
  const int32_t listMode = browserListMode;
  const int32_t auditionOn = audition;
  const int32_t model = modelKind;
  int32_t B[kBlockWords];
  const int32_t row = std::clamp(prog, 0, kProgramCount - 1);  // a bad report never indexes out
  for (int k = 0; k < kBlockWords; ++k) B[k] = programBlocks[row][k];
  // Word 1 is 0 for channel 1; any other value is treated as channel 2, so that the boost word
  // (2 + channel) always stays one of the two boost words.
  const int32_t active = B[kActiveChannel] != 0 ? 1 : 0;
  const int32_t boost = lock == 1 ? B[kBoost1] : B[kBoost1 + active];

  // Model look.
  const int look = lookOf(model);
  const ModelLook& m = kLooks[look];
  accentColour = m.accent;
  const uint32_t accent = m.accent;
  static constexpr int kMainEntries[3][3] = {{0, 1, 2}, {0, 3, 4}, {13, 14, 15}};
  for (CatalogueEntry& entry : catalogue) entry.mainFlag = 0;
  for (int e : kMainEntries[look]) catalogue[e].mainFlag = 1;

  auto region = [this](uint32_t id, int32_t x, int32_t y, int32_t w, int32_t h, int32_t kind) {
    addRegion(HitRegion{id, x, y, w, h, kind, 0});
  };
  // The two records of a control that highlights and clicks, in the order given.
  auto regions = [&region](uint32_t id, int32_t x, int32_t y, int32_t w, int32_t h,
                           bool hoverFirst) {
    region(id, x, y, w, h, hoverFirst ? kHover : kPress);
    region(id, x, y, w, h, hoverFirst ? kPress : kHover);
  };
  auto arrowColour = [this](uint32_t id) { return isHovered(id) ? kWhite : kDimText; };

  // Background, header box with the maker's logo.
  g.fill(0, 0, W, H, 0, kBackground);
  g.fill(0, 0, 250, 41, 0, m.plate);
  g.mask(8, 8, 107, 25, assets::makerLogo(), m.logoInk);

  // STORE.
  {
    const bool hot = isHovered(0);
    g.fill(173, 7, 70, 27, 13, hot ? kWhite : kBackground);
    g.text(173, 7, 70, 27, hot ? kColumn : m.titleInk, kLarge, kCentre, kMiddle, kStore, true);
    regions(0, 173, 7, 70, 27, true);
  }

  // MIDI channel box.
  g.fill(W - 126, 7, 120, 27, 13, kColumn);
  g.text(W - 109, 4, 59, 33, kLabel, kMedium, kCentre, kMiddle,
         channelNumber == 0 ? kOmni : decimal(channelNumber), false);
  g.mask(W - 34, 9, 23, 23, assets::midiConnector(), kDimText);

  // BOOST LOCK (press only, no highlight).
  g.fill(W - 246, 7, 100, 27, 13, lock == 1 ? kLabel : kColumn);
  g.text(W - 246, 4, 100, 33, lock == 1 ? kColumn : kLabel, kMedium, kCentre, kMiddle, kBoostLock,
         true);
  region(57, W - 246, 7, 100, 27, kPress);

  // MIDI channel arrows.
  g.mask(W - 117, 15, 11, 11, assets::leftArrow(), arrowColour(1));
  regions(1, W - 117, 15, 11, 11, true);
  g.mask(W - 53, 15, 11, 11, assets::rightArrow(), arrowColour(2));
  regions(2, W - 53, 15, 11, 11, true);

  // Program box; the wheel steps the program over its body.
  {
    const int32_t I = (W + 30) / 2;
    g.fill(I, 7, 220, 27, 13, kColumn);
    region(3, I, 7, 220, 27, kWheel);
    g.text(I + 150, 4, 50, 33, accent, kLarge, kCentre, kMiddle, decimal(prog), false);
    g.text(I + 25, 4, 135, 33, kLabel, kLarge, kCentre, kMiddle, kProgramChange, false);
    g.mask(I + 11, 15, 11, 11, assets::leftArrow(), arrowColour(4));
    regions(4, I + 11, 15, 11, 11, true);
    g.mask(I + 198, 15, 11, 11, assets::rightArrow(), arrowColour(5));
    regions(5, I + 198, 15, 11, 11, true);
  }

  // Switch row.
  {
    const int32_t J = (W - 770) / 2;
    struct RowSwitch {
      uint32_t id;
      int32_t x, boxWidth, boxHeight;
      bool on;
      const std::wstring* label;
      int32_t labelX, hAlign;
    };
    const RowSwitch row[4] = {
        {6, J + 250, 110, 21, active == 1, &kChannelTitle[active], J + 296, kLeading},
        {7, J + 380, 105, 20, boost == 1, &kBoost, J + 413, kCentre},
        {9, J + 510, 115, 20, B[kLoopBypass] == 1, &kLoopBypassText, J + 548, kCentre},
        {8, J + 640, 105, 20, B[kIrBypass] == 1, &kIrBypassText, J + 673, kCentre},
    };
    for (const RowSwitch& s : row) {
      g.fill(s.x, 51, s.boxWidth, s.boxHeight, 10, kColumn);
      twoWaySwitch(g, s.x, 51, s.on, isHovered(s.id), accent);
      g.text(s.labelX, 51, 75, 20, kLabel, kSmall, s.hAlign, kMiddle, *s.label, false);
      regions(s.id, s.x, 51, 40, 20, true);
    }
  }

  // Left column.
  g.fill(0, 41, 250, H - 41, 0, kColumn);

  // Channel sections.
  for (int32_t c = 0; c < 2; ++c) {
    const int32_t t = c == 0 ? 41 : ccOpen == 1 ? (H - 235) / 2 + 21 : H / 2 - 16;
    const bool isActive = active == c;
    g.fill(0, t, 250, 33, 0, kHeaderBar);
    g.text(33, t + 1, 217, 33, m.titleInk, kLarge, kLeading, kMiddle, kChannelTitle[c], false);
    g.mask(4, t + 5, 23, 23, assets::waveform(), accent);
    g.fill(229, t + 10, 14, 14, 7, B[kIrBypass] == 0 && isActive ? kLabel : kColumn);
    g.fill(0, t + 33, 250, 33, 0, kHeaderBar);
    g.fill(0, t + 66, 250, 33, 0, kHeaderBar);

    const int32_t y1 = t + 39;
    const int32_t y2 = t + 72;
    threeWaySwitch(g, 7, y1, B[kPresence1 + c], isActive, accent);
    g.text(42, y1, 80, 20, kLabel, kSmall, kCentre, kMiddle, kPresence, false);
    regions(c == 0 ? 58 : 60, 7, y1, 44, 20, true);

    threeWaySwitch(g, 135, y1, B[kDeep1 + c], isActive, accent);
    g.text(170, y1, 80, 20, kLabel, kSmall, kCentre, kMiddle, model == 1 ? kDeep : kThump, false);
    regions(c == 0 ? 59 : 61, 135, y1, 44, 20, true);

    const int32_t lowpass = B[kLowpass1 + c];
    threeWaySwitch(g, 7, y2, lowpass, isActive, accent);
    g.mask(59, y2 + 1, 48, 20, assets::lowpassCurve(lowpass == 2 || lowpass == 3 ? lowpass : 1),
           kLabel);
    regions(c == 0 ? 62 : 63, 7, y2, 44, 20, true);

    const int32_t gate = B[kGate1 + c];
    gateSwitch(g, 135, y2, gate, isActive, accent);
    g.text(170, y2, 80, 20, kLabel, kSmall, kCentre, kMiddle,
           kGateText[gate >= 0 && gate <= 2 ? gate : 3], false);
    regions(c == 0 ? 64 : 65, 135, y2, 44, 20, true);

    // User IR rows.
    for (int32_t r = 0; r < 3; ++r) {
      const int32_t y = t + 99 + 31 * r;
      const int32_t s = 3 * c + r;
      g.fill(0, y, 250, 31, 0, r == 1 ? kColumn : kControlBox);
      if (r == 0) g.fill(0, y, 250, 1, 0, kShade);

      const uint32_t radioId = static_cast<uint32_t>(10 + s);
      g.fill(8, y + 10, 12, 12, 6,
             B[kIrSelect1 + c] == r ? kLabel
             : isHovered(radioId)   ? kDimText
                                    : kBackground);
      regions(radioId, 8, y + 10, 12, 12, true);

      const std::wstring name = slotName(s);
      g.text(33, y, 174, 31, kDimText, kMedium, kLeading, kMiddle, slotDisplayName(name), true);

      const uint32_t folderId = static_cast<uint32_t>(16 + s);
      g.mask(204, y + 4, 23, 23, assets::folder(), isHovered(folderId) ? kLabel : kIconIdle);
      regions(folderId, 204, y + 4, 23, 23, false);

      const uint32_t plusId = static_cast<uint32_t>(46 + s);
      g.mask(226, y + 4, 23, 23, assets::plus(),
             isHovered(plusId)  ? kLabel
             : browser == s + 1 ? accent
                                : kIconIdle);
      regions(plusId, 226, y + 4, 23, 23, false);
    }
  }

  // MIDI CC list.
  {
    const int32_t d = ccOpen == 1 ? H - 235 : H - 54;
    g.fill(0, d, 250, 33, 0, kHeaderBar);
    g.text(33, d + 1, 217, 33, m.titleInk, kLarge, kLeading, kMiddle, kCcListTitle, false);
    g.mask(4, d + 5, 23, 23, assets::midiConnector(), accent);
    g.mask(226, d + 4, 23, 23, assets::plus(),
           isHovered(66) ? kLabel
           : ccOpen == 1 ? accent
                         : kIconIdle);
    regions(66, 226, d + 4, 23, 23, false);
    if (ccOpen == 1) {
      for (int i = 0; i < 9; ++i) {
        const int32_t y = d + 35 + 19 * i;
        g.text(12, y, 226, 19, kDimText, kMedium, kLeading, kMiddle, kCcNames[i], true);
        g.text(12, y, 226, 19, kDimText, kMedium, kTrailing, kMiddle, *kCcRanges[i], true);
      }
    }
  }

  // Divider between the column and the picture.
  g.fill(250, 41, 1, H - 41, 0, kShade);

  // Device picture, centred right of the column below a 90-unit band, never enlarged.
  {
    const ImageData picture = assets::devicePicture(look);
    int32_t iw = 0;
    int32_t ih = 0;
    pictureSize(picture, iw, ih);
    const double R =
        std::min({static_cast<double>(W - 400) / iw, static_cast<double>(H - 150) / ih, 1.0});
    // Below the minimum window size the picture has no room at all; it is left out rather
    // than drawn at a zero or negative scale.
    if (R > 0.0) {
      const int32_t x0 = static_cast<int32_t>((W - 250 - R * iw) * 0.5 + 250);
      const int32_t y0 = static_cast<int32_t>((H - 90 - R * ih) * 0.5 + 90);
      auto scaled = [R](int32_t v) { return static_cast<int32_t>(R * v); };
      static constexpr int32_t kFootswitchX[3] = {100, 470, 845};
      for (int i = 0; i < 3; ++i) {
        regions(static_cast<uint32_t>(54 + i), x0 + scaled(kFootswitchX[i]), y0 + scaled(660),
                scaled(55), scaled(55), false);
      }
      static constexpr int32_t kIrSwitchY[2] = {228, 425};
      for (int i = 0; i < 2; ++i) {
        regions(static_cast<uint32_t>(52 + i), x0 + scaled(182), y0 + scaled(kIrSwitchY[i]),
                scaled(35), scaled(35), false);
      }

      const int32_t px = clampToInt32(static_cast<int64_t>(x0 / R));
      const int32_t py = clampToInt32(static_cast<int64_t>(y0 / R));
      g.scale(static_cast<float>(R));
      g.image(px, py, iw, ih, picture);
      const bool light = look != 0;
      const int32_t irSelect1 = B[kIrSelect1];
      if (irSelect1 == 1 || irSelect1 == 2) {
        g.imagePart(182, 231, 40, 40, px + 182, py + 231, 40, 40,
                    assets::switchOverlay(light, irSelect1));
      }
      const int32_t irSelect2 = B[kIrSelect2];
      if (irSelect2 == 1 || irSelect2 == 2) {
        g.imagePart(182, 430, 40, 40, px + 182, py + 430, 40, 40,
                    assets::switchOverlay(light, irSelect2));
      }
      if (link != kNoDevice) {
        const int32_t ly = active == 0 ? 105 : 305;
        g.imagePart(190, ly, 25, 25, px + 190, py + ly, 25, 25, assets::blueLedOverlay());
        if (boost == 1) {
          g.imagePart(787, ly, 25, 25, px + 787, py + ly, 25, 25, assets::redLedOverlay());
        }
      }
      g.scale(1.0f);
    }
  }

  // Bottom strip.
  g.fill(0, H - 21, W, 21, 0, m.plate);
  g.text(W - 180, H - 21, 80, 21, m.stripText, kSmall, kLeading, kMiddle, kPoweredBy, true);
  g.mask(W - 105, H - 15, 93, 9, assets::wordMark(), m.markInk);

  // Status line, and the veil whenever the panel does not take input.
  const bool ready = link == kConnected && browser < 1;
  auto shortStatus = [&](const std::wstring& text) {
    g.text(10, H - 21, 80, 21, kStatusText, kMedium, kLeading, kMiddle, text, true);
  };
  auto firmwareStatus = [&] {
    g.text(10, H - 21, 280, 21, kStatusText, kMedium, kLeading, kMiddle,
           firmwareText(deviceVersion), true);
  };
  // A failed export is reported in place of the firmware text until the worker clears it.
  const bool exportFailed = status == kStatusExportFailed;
  auto exportFailedStatus = [&] {
    g.text(10, H - 21, 280, 21, kStatusText, kMedium, kLeading, kMiddle, kExportFailed, true);
  };
  if (ready) {
    if (exportFailed) {
      exportFailedStatus();
    } else {
      firmwareStatus();
    }
  } else {
    if (browser < 1) {
      g.fill(0, 0, W, H - 21, 0, kVeil);
    } else {
      g.fill(250, 0, W - 250, H - 21, 0, kVeil);
    }
    if (status < 0) {
      if (link != kNoDevice) firmwareStatus();
    } else if (status == kStatusStoring) {
      shortStatus(kStoring);
    } else if (status == kStatusReading) {
      shortStatus(kReading);
    } else if (exportFailed) {
      exportFailedStatus();
    } else {
      gScratch.clear();
      appendDecimal(gScratch, status);
      gScratch.push_back(L'%');
      shortStatus(gScratch);
      if (deviceVersion < imageVersion) {
        g.text(10, H - 21, W - 10, 21, kStatusText, kMedium, kCentre, kMiddle, kUpdateWarning,
               false);
      }
    }
  }

  // Connection box, above the veil.
  g.fill(260, 7, 120, 27, 13, link != kNoDevice ? kLabel : kColumn);
  g.text(260, 4, 100, 33, link != kNoDevice ? kColumn : kLabel, kMedium, kCentre, kMiddle,
         link == kNoDevice ? kNoDeviceText
         : link == kError  ? kErrorText
                           : kConnectedText,
         false);
  g.mask(352, 9, 23, 23, assets::plug(), link != kNoDevice ? kColumn : kDimText);

  // Factory IR browser over the picture area.
  if (browser < 1) return;
  const int32_t index = std::clamp(catalogueIndex.get(), 0, kCatalogueSize - 1);
  g.fill(250, 41, 250, H - 62, 0, kBackground);
  g.fill(250, 0, 250, 42, 0, kColumn);
  {
    const bool hot = isHovered(24);
    g.fill(260, H - 55, 110, 27, 13, hot ? kLabel : kControlBox);
    g.text(260, H - 58, 110, 33, hot ? kColumn : kLabel, kMedium, kCentre, kMiddle, kExtractAll,
           true);
    regions(24, 260, H - 55, 110, 27, true);
  }
  g.fill(380, H - 85, 110, 21, 10, kColumn);
  twoWaySwitch(g, 380, H - 85, auditionOn == 1, isHovered(45), accent);
  regions(45, 380, H - 85, 40, 20, true);
  g.text(426, H - 85, 80, 20, kLabel, kSmall, kLeading, kMiddle, kAudition, false);
  g.fill(379, H - 55, 111, 27, 13, isHovered(25) ? kLabel : accent);
  g.text(379, H - 58, 111, 33, kColumn, kMedium, kCentre, kMiddle, kSelect, true);
  regions(25, 379, H - 55, 111, 27, true);

  g.text(260, 0, 230, 41, isHovered(26) ? kLabel : accent, kLarge, kCentre, kMiddle,
         entryTitle(catalogue[index]), true);
  regions(26, 290, 0, 170, 41, true);
  g.mask(258, 15, 11, 11, assets::leftArrow(), arrowColour(22));
  regions(22, 258, 15, 11, 11, true);
  g.mask(481, 15, 11, 11, assets::rightArrow(), arrowColour(23));
  regions(23, 481, 15, 11, 11, true);

  if (listMode == 1) {
    for (int32_t i = 0; i < kCatalogueSize; ++i) {
      const int32_t y = 42 + 31 * i;
      const uint32_t id = static_cast<uint32_t>(27 + i);
      const bool selected = i == index;
      const bool hot = isHovered(id);
      g.fill(250, y, 250, 31, 0, i % 2 == 0 ? kListRowEven : kListRowOdd);
      g.fill(258, y + 10, 12, 12, 6, selected ? accent : hot ? kLabel : kBackground);
      g.text(280, y, 210, 31,
             selected ? accent
             : hot    ? kLabel
                      : kDimText,
             kMedium, kLeading, kMiddle, entryTitle(catalogue[i]), true);
      regions(id, 250, y, 250, 31, true);
    }
  } else {
    g.text(258, 50, 234, 234, kDimText, kLarge, kLeading, kTop, catalogue[index].description,
           false);
  }
  g.fill(250, 0, 1, H - 21, 0, kShade);
  g.fill(500, 0, 1, H - 21, 0, kShade);
  g.fill(0, 41, 500, 1, 1, kShade);
}

void Ui::addRegion(const HitRegion& region) {
  for (HitRegion& r : hitRegions) {
    if (r.id == region.id && r.kind == region.kind) {
      r.x = region.x;
      r.y = region.y;
      r.width = region.width;
      r.height = region.height;
      return;
    }
  }
  HitRegion added = region;
  added.hovered = 0;
  hitRegions.push_back(added);
}

bool Ui::isHovered(uint32_t id) const {
  for (const HitRegion& r : hitRegions) {
    if (r.id == id && r.kind == kHover) return r.hovered != 0;
  }
  return false;
}

}  // namespace orq
