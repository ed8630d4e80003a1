// The paint pass: draws the whole panel from the editor state on every Paint event and leaves
// behind the hit regions that pointer input tests. Nothing here changes a device setting; the
// pass writes only hitRegions, accentColour and the catalogue's mainFlag values.
//
// Sections: texts and helpers | control shapes | the pass's state copy | one function per
// panel section: top bar, switch row, channel section, CC list, device picture, status line,
// connection box, factory IR browser | Ui::paint, which calls them in drawing order.
#include <algorithm>
#include <cstdint>
#include <string>

#include "assets/assets.h"
#include "render/canvas.h"
#include "ui/controls.h"
#include "ui/panel_colours.h"
#include "ui/ui.h"

namespace orq {

namespace {

using namespace panel;
using render::Canvas;
using render::ImageData;
using render::kCentre;
using render::kLarge;
using render::kLeading;
using render::kMedium;
using render::kMiddle;
using render::kSmall;
using render::kTop;
using render::kTrailing;

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
const std::wstring kWaitingToOpen = L"OPENS ONCE CONNECTED: ";
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

void twoWaySwitch(Canvas& g, int32_t x, int32_t y, bool on, bool hovered, uint32_t accent) {
  g.fillRect(x, y, 40, 20, 10, on ? accent : kTrackOff);
  g.fillRect(on ? x + 20 : x, y, 20, 20, 10, on || hovered ? kWhite : kLabel);
}

void threeWaySwitch(Canvas& g, int32_t x, int32_t y, int32_t value, bool active, uint32_t accent) {
  const int32_t s = value == 1 ? -1 : value == 3 ? 1 : 0;
  g.fillRect(x, y, 110, 20, 10, kControlBox);
  g.fillRect(x, y, 44, 20, 10, active ? accent : kTrackOff);
  g.fillRect(x + 12 + 12 * s, y, 20, 20, 10, active ? kWhite : kLabel);
}

void gateSwitch(Canvas& g, int32_t x, int32_t y, int32_t value, bool active, uint32_t accent) {
  g.fillRect(x, y, 110, 20, 10, kControlBox);
  g.fillRect(x, y, 44, 20, 10, active ? accent : kTrackOff);
  g.fillRect(clampToInt32(int64_t{x} + 8 * int64_t{value}), y, 20, 20, 10,
             active ? kWhite : kLabel);
}

// ---- One pass: a coherent copy of the state it shows (the worker may write while we draw),
// the canvas, and the hit-region and hover access every section uses.
struct Pass {
  Pass(Ui& u, Canvas& canvas) : ui(u), g(canvas) {
    g.surfaceSize(W, H);
    link = ui.linkState;
    status = ui.statusCode;
    deviceVersion = ui.deviceFirmwareVersion;
    imageVersion = ui.imageFirmwareVersion;
    prog = ui.program;
    channelNumber = ui.midiChannel;
    lock = ui.boostLock;
    browser = ui.browserSlot;
    ccOpen = ui.ccListOpen;
    listMode = ui.browserListMode;
    auditionOn = ui.audition;
    model = ui.modelKind;
    const int32_t row = std::clamp(prog, 0, kProgramCount - 1);  // a bad report never indexes out
    for (int k = 0; k < kBlockWords; ++k) B[k] = ui.programBlocks[row][k];
    // Word 1 is 0 for channel 1; any other value is treated as channel 2, so that the boost
    // word (2 + channel) always stays one of the two boost words.
    active = B[kActiveChannel] != 0 ? 1 : 0;
    boost = lock == 1 ? B[kBoost1] : B[kBoost1 + active];
    look = lookOf(model);
    m = &kLooks[look];
    accent = m->accent;
  }

  void region(uint32_t id, int32_t x, int32_t y, int32_t w, int32_t h, int32_t kind) const {
    ui.addRegion(HitRegion{id, x, y, w, h, kind, 0});
  }
  // The two records of a control that highlights and clicks, in the order given.
  void regions(uint32_t id, int32_t x, int32_t y, int32_t w, int32_t h, bool hoverFirst) const {
    region(id, x, y, w, h, hoverFirst ? kHover : kPress);
    region(id, x, y, w, h, hoverFirst ? kPress : kHover);
  }
  bool hovered(uint32_t id) const { return ui.isHovered(id); }
  uint32_t arrowColour(uint32_t id) const { return hovered(id) ? kWhite : kDimText; }

  Ui& ui;
  Canvas& g;
  int32_t W = 0;
  int32_t H = 0;
  int32_t link = 0;
  int32_t status = 0;
  uint16_t deviceVersion = 0;
  uint16_t imageVersion = 0;
  int32_t prog = 0;
  int32_t channelNumber = 0;
  int32_t lock = 0;
  int32_t browser = 0;
  int32_t ccOpen = 0;
  int32_t listMode = 0;
  int32_t auditionOn = 0;
  int32_t model = 0;
  int32_t B[kBlockWords] = {};
  int32_t active = 0;  // 0 or 1
  int32_t boost = 0;
  int look = 0;
  const ModelLook* m = nullptr;
  uint32_t accent = 0;
};

// ---- Top bar: background, header box with the maker's logo, STORE, MIDI channel, BOOST LOCK,
// program box. The connection box is drawn last, above the veil.
void paintTopBar(const Pass& p) {
  Canvas& g = p.g;
  const int32_t W = p.W;
  const int32_t H = p.H;
  g.fillRect(0, 0, W, H, 0, kBackground);
  g.fillRect(0, 0, 250, 41, 0, p.m->plate);
  g.drawMask(8, 8, 107, 25, assets::makerLogo(), p.m->logoInk);

  {
    const bool hot = p.hovered(control::kStore);
    g.fillRect(173, 7, 70, 27, 13, hot ? kWhite : kBackground);
    g.drawText(173, 7, 70, 27, hot ? kColumn : p.m->titleInk, kLarge, kCentre, kMiddle, kStore,
               true);
    p.regions(control::kStore, 173, 7, 70, 27, true);
  }

  // MIDI channel box.
  g.fillRect(W - 126, 7, 120, 27, 13, kColumn);
  g.drawText(W - 109, 4, 59, 33, kLabel, kMedium, kCentre, kMiddle,
             p.channelNumber == 0 ? kOmni : decimal(p.channelNumber), false);
  g.drawMask(W - 34, 9, 23, 23, assets::midiConnector(), kDimText);

  // BOOST LOCK (press only, no highlight).
  g.fillRect(W - 246, 7, 100, 27, 13, p.lock == 1 ? kLabel : kColumn);
  g.drawText(W - 246, 4, 100, 33, p.lock == 1 ? kColumn : kLabel, kMedium, kCentre, kMiddle,
             kBoostLock, true);
  p.region(control::kBoostLock, W - 246, 7, 100, 27, kPress);

  // MIDI channel arrows.
  g.drawMask(W - 117, 15, 11, 11, assets::leftArrow(), p.arrowColour(control::kChannelDown));
  p.regions(control::kChannelDown, W - 117, 15, 11, 11, true);
  g.drawMask(W - 53, 15, 11, 11, assets::rightArrow(), p.arrowColour(control::kChannelUp));
  p.regions(control::kChannelUp, W - 53, 15, 11, 11, true);

  // Program box; the wheel steps the program over its body.
  const int32_t I = (W + 30) / 2;
  g.fillRect(I, 7, 220, 27, 13, kColumn);
  p.region(control::kProgramBox, I, 7, 220, 27, kWheel);
  g.drawText(I + 150, 4, 50, 33, p.accent, kLarge, kCentre, kMiddle, decimal(p.prog), false);
  g.drawText(I + 25, 4, 135, 33, kLabel, kLarge, kCentre, kMiddle, kProgramChange, false);
  g.drawMask(I + 11, 15, 11, 11, assets::leftArrow(), p.arrowColour(control::kProgramDown));
  p.regions(control::kProgramDown, I + 11, 15, 11, 11, true);
  g.drawMask(I + 198, 15, 11, 11, assets::rightArrow(), p.arrowColour(control::kProgramUp));
  p.regions(control::kProgramUp, I + 198, 15, 11, 11, true);
}

// ---- Switch row: channel, BOOST, LOOP BYPASS, IR BYPASS.
void paintSwitchRow(const Pass& p) {
  const int32_t J = (p.W - 770) / 2;
  struct RowSwitch {
    uint32_t id;
    int32_t x, boxWidth, boxHeight;
    bool on;
    const std::wstring* label;
    int32_t labelX, hAlign;
  };
  const RowSwitch row[4] = {
      {control::kChannelSwitch, J + 250, 110, 21, p.active == 1, &kChannelTitle[p.active], J + 296,
       kLeading},
      {control::kBoostSwitch, J + 380, 105, 20, p.boost == 1, &kBoost, J + 413, kCentre},
      {control::kLoopBypassSwitch, J + 510, 115, 20, p.B[kLoopBypass] == 1, &kLoopBypassText,
       J + 548, kCentre},
      {control::kIrBypassSwitch, J + 640, 105, 20, p.B[kIrBypass] == 1, &kIrBypassText, J + 673,
       kCentre},
  };
  for (const RowSwitch& s : row) {
    p.g.fillRect(s.x, 51, s.boxWidth, s.boxHeight, 10, kColumn);
    twoWaySwitch(p.g, s.x, 51, s.on, p.hovered(s.id), p.accent);
    p.g.drawText(s.labelX, 51, 75, 20, kLabel, kSmall, s.hAlign, kMiddle, *s.label, false);
    p.regions(s.id, s.x, 51, 40, 20, true);
  }
}

// ---- One channel section of the left column: title bar, the four tone switches, and the
// rows of its three user IR slots.
void paintChannelSection(const Pass& p, int32_t c) {
  Canvas& g = p.g;
  const int32_t H = p.H;
  const uint32_t accent = p.accent;
  const int32_t t = c == 0 ? 41 : p.ccOpen == 1 ? (H - 235) / 2 + 21 : H / 2 - 16;
  const bool isActive = p.active == c;
  g.fillRect(0, t, 250, 33, 0, kHeaderBar);
  g.drawText(33, t + 1, 217, 33, p.m->titleInk, kLarge, kLeading, kMiddle, kChannelTitle[c], false);
  g.drawMask(4, t + 5, 23, 23, assets::waveform(), accent);
  g.fillRect(229, t + 10, 14, 14, 7, p.B[kIrBypass] == 0 && isActive ? kLabel : kColumn);
  g.fillRect(0, t + 33, 250, 33, 0, kHeaderBar);
  g.fillRect(0, t + 66, 250, 33, 0, kHeaderBar);

  const int32_t y1 = t + 39;
  const int32_t y2 = t + 72;
  threeWaySwitch(g, 7, y1, p.B[kPresence1 + c], isActive, accent);
  g.drawText(42, y1, 80, 20, kLabel, kSmall, kCentre, kMiddle, kPresence, false);
  p.regions(c == 0 ? control::kPresence1 : control::kPresence2, 7, y1, 44, 20, true);

  threeWaySwitch(g, 135, y1, p.B[kDeep1 + c], isActive, accent);
  g.drawText(170, y1, 80, 20, kLabel, kSmall, kCentre, kMiddle, p.model == 1 ? kDeep : kThump,
             false);
  p.regions(c == 0 ? control::kDeep1 : control::kDeep2, 135, y1, 44, 20, true);

  const int32_t lowpass = p.B[kLowpass1 + c];
  threeWaySwitch(g, 7, y2, lowpass, isActive, accent);
  g.drawMask(59, y2 + 1, 48, 20, assets::lowpassCurve(lowpass == 2 || lowpass == 3 ? lowpass : 1),
             kLabel);
  p.regions(c == 0 ? control::kLowpass1 : control::kLowpass2, 7, y2, 44, 20, true);

  const int32_t gate = p.B[kGate1 + c];
  gateSwitch(g, 135, y2, gate, isActive, accent);
  g.drawText(170, y2, 80, 20, kLabel, kSmall, kCentre, kMiddle,
             kGateText[gate >= 0 && gate <= 2 ? gate : 3], false);
  p.regions(c == 0 ? control::kGate1 : control::kGate2, 135, y2, 44, 20, true);

  // User IR rows.
  for (int32_t r = 0; r < 3; ++r) {
    const int32_t y = t + 99 + 31 * r;
    const int32_t s = 3 * c + r;
    g.fillRect(0, y, 250, 31, 0, r == 1 ? kColumn : kControlBox);
    if (r == 0) g.fillRect(0, y, 250, 1, 0, kShade);

    const uint32_t radioId = control::nth(control::kIrRadio, s);
    g.fillRect(8, y + 10, 12, 12, 6,
               p.B[kIrSelect1 + c] == r ? kLabel
               : p.hovered(radioId)     ? kDimText
                                        : kBackground);
    p.regions(radioId, 8, y + 10, 12, 12, true);

    const std::wstring name = p.ui.slotName(s);
    g.drawText(33, y, 174, 31, kDimText, kMedium, kLeading, kMiddle, slotDisplayName(name), true);

    const uint32_t folderId = control::nth(control::kImportFolder, s);
    g.drawMask(204, y + 4, 23, 23, assets::folder(), p.hovered(folderId) ? kLabel : kIconIdle);
    p.regions(folderId, 204, y + 4, 23, 23, false);

    const uint32_t plusId = control::nth(control::kSlotBrowser, s);
    g.drawMask(226, y + 4, 23, 23, assets::plus(),
               p.hovered(plusId)    ? kLabel
               : p.browser == s + 1 ? accent
                                    : kIconIdle);
    p.regions(plusId, 226, y + 4, 23, 23, false);
  }
}

// ---- MIDI CC list at the foot of the left column, open or closed.
void paintCcList(const Pass& p) {
  Canvas& g = p.g;
  const int32_t d = p.ccOpen == 1 ? p.H - 235 : p.H - 54;
  g.fillRect(0, d, 250, 33, 0, kHeaderBar);
  g.drawText(33, d + 1, 217, 33, p.m->titleInk, kLarge, kLeading, kMiddle, kCcListTitle, false);
  g.drawMask(4, d + 5, 23, 23, assets::midiConnector(), p.accent);
  g.drawMask(226, d + 4, 23, 23, assets::plus(),
             p.hovered(control::kCcList) ? kLabel
             : p.ccOpen == 1             ? p.accent
                                         : kIconIdle);
  p.regions(control::kCcList, 226, d + 4, 23, 23, false);
  if (p.ccOpen != 1) return;
  for (int i = 0; i < 9; ++i) {
    const int32_t y = d + 35 + 19 * i;
    g.drawText(12, y, 226, 19, kDimText, kMedium, kLeading, kMiddle, kCcNames[i], true);
    g.drawText(12, y, 226, 19, kDimText, kMedium, kTrailing, kMiddle, *kCcRanges[i], true);
  }
}

// ---- Device picture, centred right of the column below a 90-unit band, never enlarged, with
// its switch and LED patches and the hit regions of its switches.
void paintDevicePicture(const Pass& p) {
  Canvas& g = p.g;
  const int32_t W = p.W;
  const int32_t H = p.H;
  const ImageData picture = assets::devicePicture(p.look);
  int32_t iw = 0;
  int32_t ih = 0;
  pictureSize(picture, iw, ih);
  const double R =
      std::min({static_cast<double>(W - 400) / iw, static_cast<double>(H - 150) / ih, 1.0});
  // Below the minimum window size the picture has no room at all; it is left out rather than
  // drawn at a zero or negative scale.
  if (!(R > 0.0)) return;
  const int32_t x0 = static_cast<int32_t>((W - 250 - R * iw) * 0.5 + 250);
  const int32_t y0 = static_cast<int32_t>((H - 90 - R * ih) * 0.5 + 90);
  auto scaled = [R](int32_t v) { return static_cast<int32_t>(R * v); };
  static constexpr int32_t kFootswitchX[3] = {100, 470, 845};
  for (int i = 0; i < 3; ++i) {
    p.regions(control::nth(control::kFootswitchChannel1, i), x0 + scaled(kFootswitchX[i]),
              y0 + scaled(660), scaled(55), scaled(55), false);
  }
  static constexpr int32_t kIrSwitchY[2] = {228, 425};
  for (int i = 0; i < 2; ++i) {
    p.regions(control::nth(control::kIrSwitch1, i), x0 + scaled(182), y0 + scaled(kIrSwitchY[i]),
              scaled(35), scaled(35), false);
  }

  const int32_t px = clampToInt32(static_cast<int64_t>(x0 / R));
  const int32_t py = clampToInt32(static_cast<int64_t>(y0 / R));
  g.setScale(static_cast<float>(R));
  g.drawImage(px, py, iw, ih, picture);
  const bool light = p.look != 0;
  const int32_t irSelect1 = p.B[kIrSelect1];
  if (irSelect1 == 1 || irSelect1 == 2) {
    g.drawImagePart(182, 231, 40, 40, px + 182, py + 231, 40, 40,
                    assets::switchOverlay(light, irSelect1));
  }
  const int32_t irSelect2 = p.B[kIrSelect2];
  if (irSelect2 == 1 || irSelect2 == 2) {
    g.drawImagePart(182, 430, 40, 40, px + 182, py + 430, 40, 40,
                    assets::switchOverlay(light, irSelect2));
  }
  if (p.link != kNoDevice) {
    const int32_t ly = p.active == 0 ? 105 : 305;
    g.drawImagePart(190, ly, 25, 25, px + 190, py + ly, 25, 25, assets::blueLedOverlay());
    if (p.boost == 1) {
      g.drawImagePart(787, ly, 25, 25, px + 787, py + ly, 25, 25, assets::redLedOverlay());
    }
  }
  g.setScale(1.0f);
}

// ---- Bottom strip and status line, and the veil whenever the panel does not take input.
void paintStatus(const Pass& p) {
  Canvas& g = p.g;
  const int32_t W = p.W;
  const int32_t H = p.H;
  g.fillRect(0, H - 21, W, 21, 0, p.m->plate);
  g.drawText(W - 180, H - 21, 80, 21, p.m->stripText, kSmall, kLeading, kMiddle, kPoweredBy, true);
  g.drawMask(W - 105, H - 15, 93, 9, assets::wordMark(), p.m->markInk);

  const bool ready = p.link == kConnected && p.browser < 1;
  auto shortStatus = [&](const std::wstring& text) {
    g.drawText(10, H - 21, 80, 21, kStatusText, kMedium, kLeading, kMiddle, text, true);
  };
  auto longStatus = [&](const std::wstring& text) {
    g.drawText(10, H - 21, 280, 21, kStatusText, kMedium, kLeading, kMiddle, text, true);
  };
  // A failed export is reported in place of the firmware text until the worker clears it.
  const bool exportFailed = p.status == kStatusExportFailed;
  if (ready) {
    longStatus(exportFailed ? kExportFailed : firmwareText(p.deviceVersion));
    return;
  }
  if (p.browser < 1) {
    g.fillRect(0, 0, W, H - 21, 0, kVeil);
  } else {
    g.fillRect(250, 0, W - 250, H - 21, 0, kVeil);
  }
  if (p.status < 0) {
    if (p.link != kNoDevice) {
      longStatus(firmwareText(p.deviceVersion));
    } else if (const std::wstring given = p.ui.givenFileName(); !given.empty()) {
      // The file the editor was started with waits for the device.
      gScratch.assign(kWaitingToOpen);
      gScratch.append(given);
      longStatus(gScratch);
    }
  } else if (p.status == kStatusStoring) {
    shortStatus(kStoring);
  } else if (p.status == kStatusReading) {
    shortStatus(kReading);
  } else if (exportFailed) {
    longStatus(kExportFailed);
  } else {
    gScratch.clear();
    appendDecimal(gScratch, p.status);
    gScratch.push_back(L'%');
    shortStatus(gScratch);
    if (p.deviceVersion < p.imageVersion) {
      g.drawText(10, H - 21, W - 10, 21, kStatusText, kMedium, kCentre, kMiddle, kUpdateWarning,
                 false);
    }
  }
}

// ---- Connection box, above the veil.
void paintConnectionBox(const Pass& p) {
  const bool linked = p.link != kNoDevice;
  p.g.fillRect(260, 7, 120, 27, 13, linked ? kLabel : kColumn);
  p.g.drawText(260, 4, 100, 33, linked ? kColumn : kLabel, kMedium, kCentre, kMiddle,
               p.link == kNoDevice ? kNoDeviceText
               : p.link == kError  ? kErrorText
                                   : kConnectedText,
               false);
  p.g.drawMask(352, 9, 23, 23, assets::plug(), linked ? kColumn : kDimText);
}

// ---- Factory IR browser over the picture area (only while a slot's browser is open).
void paintBrowser(const Pass& p) {
  Canvas& g = p.g;
  const int32_t H = p.H;
  const uint32_t accent = p.accent;
  const auto& catalogue = p.ui.catalogue;
  const int32_t index = std::clamp(p.ui.catalogueIndex.get(), 0, kCatalogueSize - 1);
  g.fillRect(250, 41, 250, H - 62, 0, kBackground);
  g.fillRect(250, 0, 250, 42, 0, kColumn);
  {
    const bool hot = p.hovered(control::kExtractAll);
    g.fillRect(260, H - 55, 110, 27, 13, hot ? kLabel : kControlBox);
    g.drawText(260, H - 58, 110, 33, hot ? kColumn : kLabel, kMedium, kCentre, kMiddle, kExtractAll,
               true);
    p.regions(control::kExtractAll, 260, H - 55, 110, 27, true);
  }
  g.fillRect(380, H - 85, 110, 21, 10, kColumn);
  twoWaySwitch(g, 380, H - 85, p.auditionOn == 1, p.hovered(control::kAudition), accent);
  p.regions(control::kAudition, 380, H - 85, 40, 20, true);
  g.drawText(426, H - 85, 80, 20, kLabel, kSmall, kLeading, kMiddle, kAudition, false);
  g.fillRect(379, H - 55, 111, 27, 13, p.hovered(control::kSelect) ? kLabel : accent);
  g.drawText(379, H - 58, 111, 33, kColumn, kMedium, kCentre, kMiddle, kSelect, true);
  p.regions(control::kSelect, 379, H - 55, 111, 27, true);

  g.drawText(260, 0, 230, 41, p.hovered(control::kEntryTitle) ? kLabel : accent, kLarge, kCentre,
             kMiddle, entryTitle(catalogue[index]), true);
  p.regions(control::kEntryTitle, 290, 0, 170, 41, true);
  g.drawMask(258, 15, 11, 11, assets::leftArrow(), p.arrowColour(control::kEntryPrevious));
  p.regions(control::kEntryPrevious, 258, 15, 11, 11, true);
  g.drawMask(481, 15, 11, 11, assets::rightArrow(), p.arrowColour(control::kEntryNext));
  p.regions(control::kEntryNext, 481, 15, 11, 11, true);

  if (p.listMode == 1) {
    for (int32_t i = 0; i < kCatalogueSize; ++i) {
      const int32_t y = 42 + 31 * i;
      const uint32_t id = control::nth(control::kListRow, i);
      const bool selected = i == index;
      const bool hot = p.hovered(id);
      g.fillRect(250, y, 250, 31, 0, i % 2 == 0 ? kListRowEven : kListRowOdd);
      g.fillRect(258, y + 10, 12, 12, 6, selected ? accent : hot ? kLabel : kBackground);
      g.drawText(280, y, 210, 31,
                 selected ? accent
                 : hot    ? kLabel
                          : kDimText,
                 kMedium, kLeading, kMiddle, entryTitle(catalogue[i]), true);
      p.regions(id, 250, y, 250, 31, true);
    }
  } else {
    g.drawText(258, 50, 234, 234, kDimText, kLarge, kLeading, kTop, catalogue[index].description,
               false);
  }
  g.fillRect(250, 0, 1, H - 21, 0, kShade);
  g.fillRect(500, 0, 1, H - 21, 0, kShade);
  g.fillRect(0, 41, 500, 1, 1, kShade);
}

}  // namespace

void Ui::paint(render::Canvas& canvas) {
  const Pass p(*this, canvas);
  accentColour = p.accent;
  static constexpr int kMainEntries[3][3] = {{0, 1, 2}, {0, 3, 4}, {13, 14, 15}};
  for (CatalogueEntry& entry : catalogue) entry.mainFlag = 0;
  for (int e : kMainEntries[p.look]) catalogue[e].mainFlag = 1;

  paintTopBar(p);
  paintSwitchRow(p);
  canvas.fillRect(0, 41, 250, p.H - 41, 0, kColumn);  // the left column
  for (int32_t c = 0; c < 2; ++c) paintChannelSection(p, c);
  paintCcList(p);
  canvas.fillRect(250, 41, 1, p.H - 41, 0, kShade);  // divider between column and picture
  paintDevicePicture(p);
  paintStatus(p);
  paintConnectionBox(p);
  if (p.browser >= 1) paintBrowser(p);
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
