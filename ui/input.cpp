// Pointer input: turns pointer moves into hover highlights and cursor changes, left-button
// presses into settings changes and worker commands, and wheel turns over the program box into
// program steps. It works only on the hit regions the last paint left, and only while the
// device is connected and idle (linkState 1).
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <thread>

#include "ui/ui.h"

namespace orq {

namespace {

enum Kind : int32_t { kHover = 2, kPress = 3, kWheel = 7 };

// The worker polls every 5 ms; holding the user-interface thread this long after writing a
// command lets the worker take it before the next press can overwrite it.
constexpr std::chrono::milliseconds kHandOverPause{20};

void pause(std::chrono::milliseconds interval) {
  std::this_thread::sleep_until(std::chrono::steady_clock::now() + interval);
}

// The pointer in logical units: device pixels over dpi/96 (the horizontal factor serves both
// axes), truncated toward zero.
void logicalPoint(const Platform& platform, int32_t& x, int32_t& y) {
  double factor = static_cast<double>(platform.dpi()) / 96.0;
  if (!(factor > 0.0)) factor = 1.0;
  x = static_cast<int32_t>(platform.pointerX / factor);
  y = static_cast<int32_t>(platform.pointerY / factor);
}

// Both edges count: a region of width w covers w + 1 columns.
bool contains(const HitRegion& r, int32_t x, int32_t y) {
  return r.x <= x && int64_t{x} <= int64_t{r.x} + r.width && r.y <= y &&
         int64_t{y} <= int64_t{r.y} + r.height;
}

// With the browser open only the browser, the slot icons and the left column answer; with it
// closed the browser's own records are inert. Skipped records keep their hover byte.
bool skipped(const Ui& ui, const HitRegion& r) {
  if (ui.browserSlot >= 1) return !(r.id >= 22 && r.id <= 51) && r.x > 250;
  return r.id >= 22 && r.id <= 45;
}

void clearHovers(Ui& ui) {
  for (HitRegion& r : ui.hitRegions) r.hovered = 0;
}

// Writes a worker command, gives the worker time to take it, and drops the highlight of the
// pressed control (the worker repaints when it acts).
void handOver(Ui& ui, int32_t code) {
  if (code == kCommandUploadFactoryIr) {
    // The upload's target is the one on screen now, not whatever the browser shows when the
    // worker gets to it.
    ui.commandSlot = ui.browserSlot.get();
    ui.commandEntry = ui.catalogueIndex.get();
  }
  ui.pendingCommand.publish(code);
  ui.workerBell.ring();
  pause(kHandOverPause);
  clearHovers(ui);
}

// With AUDITION on, every new selection goes to the slot at once.
void auditionIfOn(Ui& ui) {
  if (ui.audition != 1) return;
  pause(kHandOverPause);
  handOver(ui, kCommandUploadFactoryIr);
}

Shared<int32_t>* currentBlock(Ui& ui) {
  return ui.programBlocks[std::clamp(ui.program.get(), 0, kProgramCount - 1)];
}

void toggle(Shared<int32_t>& word) {
  word = word == 0 ? 1 : 0;
}

void cycleThree(Shared<int32_t>& word) {
  const int32_t v = word;
  word = v == 1 ? 2 : v == 2 ? 3 : 1;
}

void cycleGate(Shared<int32_t>& word) {
  const int32_t v = word;
  word = v == 0 ? 1 : v == 1 ? 2 : v == 2 ? 3 : 0;
}

// The boost word that the BOOST switch and the right footswitch act on. Any non-zero active
// channel counts as channel 2, so the index never leaves the two boost words.
Shared<int32_t>& boostWord(Ui& ui, Shared<int32_t>* block) {
  if (ui.boostLock == 1) return block[kBoost1];
  return block[block[kActiveChannel] != 0 ? kBoost2 : kBoost1];
}

void stepProgram(Ui& ui, bool up) {
  const int32_t p = ui.program;
  if (up) {
    ui.program = p >= 127 ? 0 : p + 1;
  } else {
    ui.program = p <= 0 ? 127 : p - 1;
  }
}

struct PressFlags {
  bool repaint = false;
  bool changed = false;
  bool listOpened = false;  // this press turned the browser list on
};

// Carries out the press on control `id`; false when the control does not answer presses now.
bool act(Ui& ui, uint32_t id, PressFlags& f) {
  Shared<int32_t>* B = currentBlock(ui);
  auto setting = [&f] { f.changed = f.repaint = true; };
  switch (id) {
    case 0:
      handOver(ui, kCommandStore);
      break;
    case 1: {
      const int32_t v = ui.midiChannel;
      ui.midiChannel = v <= 0 ? 16 : v - 1;
      setting();
      break;
    }
    case 2: {
      const int32_t v = ui.midiChannel;
      ui.midiChannel = v >= 16 ? 0 : v + 1;
      setting();
      break;
    }
    case 3:  // program box: wheel only
      return false;
    case 4:
    case 5:
      stepProgram(ui, id == 5);
      setting();
      break;
    case 6:
      toggle(B[kActiveChannel]);
      setting();
      break;
    case 7:
    case 56:
      toggle(boostWord(ui, B));
      setting();
      break;
    case 8:
      toggle(B[kIrBypass]);
      setting();
      break;
    case 9:
      toggle(B[kLoopBypass]);
      setting();
      break;
    case 10:
    case 11:
    case 12:
      B[kIrSelect1] = static_cast<int32_t>(id - 10);
      setting();
      break;
    case 13:
    case 14:
    case 15:
      B[kIrSelect2] = static_cast<int32_t>(id - 13);
      setting();
      break;
    case 16:
    case 17:
    case 18:
    case 19:
    case 20:
    case 21:
      handOver(ui, kCommandImportFirst + static_cast<int32_t>(id - 16));
      break;
    case 22: {
      const int32_t v = ui.catalogueIndex;
      ui.catalogueIndex = v <= 0 ? kCatalogueSize - 1 : v - 1;
      f.repaint = true;
      auditionIfOn(ui);
      break;
    }
    case 23: {
      const int32_t v = ui.catalogueIndex;
      ui.catalogueIndex = v >= kCatalogueSize - 1 ? 0 : v + 1;
      f.repaint = true;
      auditionIfOn(ui);
      break;
    }
    case 24:
      handOver(ui, kCommandExtractAll);
      break;
    case 25:
      handOver(ui, kCommandUploadFactoryIr);
      break;
    case 26:
      toggle(ui.browserListMode);
      f.listOpened = ui.browserListMode == 1;
      f.repaint = true;
      break;
    case 45:
      toggle(ui.audition);
      f.repaint = true;
      break;
    case 46:
    case 47:
    case 48:
    case 49:
    case 50:
    case 51: {
      const int32_t k = static_cast<int32_t>(id - 45);
      ui.browserSlot = ui.browserSlot == k ? 0 : k;
      f.repaint = true;
      break;
    }
    case 52:
    case 53: {
      Shared<int32_t>& word = B[id == 52 ? kIrSelect1 : kIrSelect2];
      const int32_t v = word;
      word = v >= 2 ? 0 : v + 1;
      setting();
      break;
    }
    case 54:
      B[kActiveChannel] = 0;
      setting();
      break;
    case 55:
      B[kActiveChannel] = 1;
      setting();
      break;
    case 57:
      toggle(ui.boostLock);
      setting();
      break;
    case 58:
    case 60:
      cycleThree(B[id == 58 ? kPresence1 : kPresence2]);
      setting();
      break;
    case 59:
    case 61:
      cycleThree(B[id == 59 ? kDeep1 : kDeep2]);
      setting();
      break;
    case 62:
    case 63:
      cycleThree(B[id == 62 ? kLowpass1 : kLowpass2]);
      setting();
      break;
    case 64:
    case 65:
      cycleGate(B[id == 64 ? kGate1 : kGate2]);
      setting();
      break;
    case 66:
      toggle(ui.ccListOpen);
      f.repaint = true;
      break;
    default:
      if (id < 27 || id > 44 || ui.browserListMode != 1) return false;
      ui.catalogueIndex = static_cast<int32_t>(id - 27);
      f.repaint = true;
      auditionIfOn(ui);
      break;
  }
  return true;
}

// A settings change is sent when this program's block came from the device, and otherwise
// the block is asked for instead: the program that is current after the change decides.
void finish(Ui& ui, const PressFlags& f) {
  if (f.changed) {
    ui.pendingCommand =
        currentBlock(ui)[kReceived] != 0 ? kCommandSendSettings : kCommandReadSettings;
    ui.workerBell.ring();
  }
  if (f.repaint && ui.platform) ui.platform->requestRepaint();
}

}  // namespace

void Ui::onPointerMove() {
  if (linkState != kConnected || !platform) return;
  int32_t x = 0;
  int32_t y = 0;
  logicalPoint(*platform, x, y);
  bool repaint = false;
  bool hand = false;
  for (HitRegion& r : hitRegions) {
    if (skipped(*this, r)) continue;
    if (r.kind == kHover) {
      const bool in = contains(r, x, y);
      if (in && r.hovered == 0) {
        r.hovered = 1;
        repaint = true;
        if (r.id >= 52 && r.id <= 56) hand = true;  // the switches on the device picture
      } else if (!in && r.hovered != 0) {
        r.hovered = 0;
        repaint = true;
      }
    } else if (r.hovered != 0) {
      r.hovered = 0;
      repaint = true;
    }
  }
  // Every repaint here comes from a hover change, so the cursor is set exactly when a hover
  // flag changed: it stays the hand while the pointer moves inside a picture control.
  if (repaint) {
    platform->requestRepaint();
    platform->setHandCursor(hand);
  }
}

void Ui::onLeftDown() {
  if (linkState != kConnected || !platform) return;
  int32_t x = 0;
  int32_t y = 0;
  logicalPoint(*platform, x, y);
  PressFlags f;
  for (const HitRegion& r : hitRegions) {
    if (r.kind != kPress || skipped(*this, r) || !contains(r, x, y)) continue;
    // Neighbouring controls share their edge columns (a folder icon and the "+" beside it, two
    // list rows); one press acts on the first live control only.
    if (act(*this, r.id, f)) break;
  }
  if (browserSlot >= 1 && browserListMode == 1 && !f.listOpened) {
    browserListMode = 0;
    f.repaint = true;
  }
  finish(*this, f);
}

void Ui::onWheel() {
  if (!platform) return;
  // Every wheel event consumes the notches counted so far, acted on or not, so a count left
  // over from turning the wheel elsewhere never steps the program the wrong way later.
  const int32_t notches = platform->wheelTotal;
  platform->wheelTotal = 0;
  if (linkState != kConnected || browserSlot != 0) return;
  int32_t x = 0;
  int32_t y = 0;
  logicalPoint(*platform, x, y);
  const auto hit = std::find_if(hitRegions.begin(), hitRegions.end(), [&](const HitRegion& r) {
    return r.kind == kWheel && !skipped(*this, r) && contains(r, x, y);
  });
  if (hit == hitRegions.end()) return;
  // One event moves one program whatever the number of notches; a partial notch (count 0)
  // does not move it.
  PressFlags f;
  if (notches != 0) {
    stepProgram(*this, notches > 0);
    f.changed = f.repaint = true;
  }
  finish(*this, f);
}

}  // namespace orq
