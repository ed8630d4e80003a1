// Pointer input: turns pointer moves into hover highlights and cursor changes, left-button
// presses into settings changes and worker commands, and wheel turns over the program box into
// program steps. It works only on the hit regions the last paint left, and only while the
// device is connected and idle (linkState 1).
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <thread>

#include "ui/controls.h"
#include "ui/ui.h"

namespace orq {

namespace {

// The worker polls every 5 ms; holding the user-interface thread this long after writing a
// command lets the worker take it before the next press can overwrite it.
constexpr std::chrono::milliseconds kHandOverPause{20};

void pause(std::chrono::milliseconds interval) {
  std::this_thread::sleep_until(std::chrono::steady_clock::now() + interval);
}

// Both edges count: a region of width w covers w + 1 columns.
bool contains(const HitRegion& r, int32_t x, int32_t y) {
  return r.x <= x && int64_t{x} <= int64_t{r.x} + r.width && r.y <= y &&
         int64_t{y} <= int64_t{r.y} + r.height;
}

// With the browser open only the browser, the slot icons and the left column answer; with it
// closed the browser's own records are inert. Skipped records keep their hover byte.
bool skipped(const Ui& ui, const HitRegion& r) {
  const bool browserControl = r.id >= control::kEntryPrevious && r.id <= control::kAudition;
  const bool slotBrowser = control::indexIn(r.id, control::kSlotBrowser, kSlotCount) >= 0;
  if (ui.browserSlot >= 1) return !(browserControl || slotBrowser) && r.x > 250;
  return browserControl;
}

void clearHovers(Ui& ui) {
  for (HitRegion& r : ui.hitRegions) r.hovered = 0;
}

struct PressFlags {
  bool repaint = false;
  bool changed = false;
  bool listOpened = false;  // this press turned the browser list on
  // The worker command the press gives, handed over once the press is done (finish), and
  // whether a pause goes before it.
  int32_t command = kCommandNone;
  bool pauseFirst = false;
};

// Notes the worker command of a press. The upload's target is the one on screen now, not
// whatever the browser shows when the worker gets to it.
void handOver(Ui& ui, PressFlags& f, int32_t code) {
  if (code == kCommandUploadFactoryIr) {
    ui.commandSlot = ui.browserSlot.get();
    ui.commandEntry = ui.catalogueIndex.get();
  }
  f.command = code;
}

// With AUDITION on, every new selection goes to the slot at once.
void auditionIfOn(Ui& ui, PressFlags& f) {
  if (ui.audition != 1) return;
  f.pauseFirst = true;
  handOver(ui, f, kCommandUploadFactoryIr);
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

// Carries out the press on control `id`; false when the control does not answer presses now.
bool act(Ui& ui, uint32_t id, PressFlags& f) {
  Shared<int32_t>* B = currentBlock(ui);
  auto setting = [&f] { f.changed = f.repaint = true; };
  // Controls that come in rows: one per user IR slot, one per catalogue entry.
  if (const int32_t s = control::indexIn(id, control::kIrRadio, kSlotCount); s >= 0) {
    B[s < 3 ? kIrSelect1 : kIrSelect2] = s % 3;
    setting();
    return true;
  }
  if (const int32_t s = control::indexIn(id, control::kImportFolder, kSlotCount); s >= 0) {
    handOver(ui, f, kCommandImportFirst + s);
    return true;
  }
  if (const int32_t s = control::indexIn(id, control::kSlotBrowser, kSlotCount); s >= 0) {
    ui.browserSlot = ui.browserSlot == s + 1 ? 0 : s + 1;
    f.repaint = true;
    return true;
  }
  if (const int32_t i = control::indexIn(id, control::kListRow, kCatalogueSize); i >= 0) {
    if (ui.browserListMode != 1) return false;
    ui.catalogueIndex = i;
    f.repaint = true;
    auditionIfOn(ui, f);
    return true;
  }
  switch (id) {
    case control::kStore:
      handOver(ui, f, kCommandStore);
      break;
    case control::kChannelDown: {
      const int32_t v = ui.midiChannel;
      ui.midiChannel = v <= 0 ? 16 : v - 1;
      setting();
      break;
    }
    case control::kChannelUp: {
      const int32_t v = ui.midiChannel;
      ui.midiChannel = v >= 16 ? 0 : v + 1;
      setting();
      break;
    }
    case control::kProgramDown:
    case control::kProgramUp:
      stepProgram(ui, id == control::kProgramUp);
      setting();
      break;
    case control::kChannelSwitch:
      toggle(B[kActiveChannel]);
      setting();
      break;
    case control::kBoostSwitch:
    case control::kFootswitchBoost:
      toggle(boostWord(ui, B));
      setting();
      break;
    case control::kIrBypassSwitch:
      toggle(B[kIrBypass]);
      setting();
      break;
    case control::kLoopBypassSwitch:
      toggle(B[kLoopBypass]);
      setting();
      break;
    case control::kEntryPrevious: {
      const int32_t v = ui.catalogueIndex;
      ui.catalogueIndex = v <= 0 ? kCatalogueSize - 1 : v - 1;
      f.repaint = true;
      auditionIfOn(ui, f);
      break;
    }
    case control::kEntryNext: {
      const int32_t v = ui.catalogueIndex;
      ui.catalogueIndex = v >= kCatalogueSize - 1 ? 0 : v + 1;
      f.repaint = true;
      auditionIfOn(ui, f);
      break;
    }
    case control::kExtractAll:
      handOver(ui, f, kCommandExtractAll);
      break;
    case control::kSelect:
      handOver(ui, f, kCommandUploadFactoryIr);
      break;
    case control::kEntryTitle:
      toggle(ui.browserListMode);
      f.listOpened = ui.browserListMode == 1;
      f.repaint = true;
      break;
    case control::kAudition:
      toggle(ui.audition);
      f.repaint = true;
      break;
    case control::kIrSwitch1:
    case control::kIrSwitch2: {
      Shared<int32_t>& word = B[id == control::kIrSwitch1 ? kIrSelect1 : kIrSelect2];
      const int32_t v = word;
      word = v >= 2 ? 0 : v + 1;
      setting();
      break;
    }
    case control::kFootswitchChannel1:
      B[kActiveChannel] = 0;
      setting();
      break;
    case control::kFootswitchChannel2:
      B[kActiveChannel] = 1;
      setting();
      break;
    case control::kBoostLock:
      toggle(ui.boostLock);
      setting();
      break;
    case control::kPresence1:
    case control::kPresence2:
      cycleThree(B[id == control::kPresence1 ? kPresence1 : kPresence2]);
      setting();
      break;
    case control::kDeep1:
    case control::kDeep2:
      cycleThree(B[id == control::kDeep1 ? kDeep1 : kDeep2]);
      setting();
      break;
    case control::kLowpass1:
    case control::kLowpass2:
      cycleThree(B[id == control::kLowpass1 ? kLowpass1 : kLowpass2]);
      setting();
      break;
    case control::kGate1:
    case control::kGate2:
      cycleGate(B[id == control::kGate1 ? kGate1 : kGate2]);
      setting();
      break;
    case control::kCcList:
      toggle(ui.ccListOpen);
      f.repaint = true;
      break;
    default:  // the program box answers the wheel only
      return false;
  }
  return true;
}

// A settings change is sent when this program's block came from the device, and otherwise
// the block is asked for instead: the program that is current after the change decides.
// A command is handed over (publish, and the pause that lets the worker take it before the
// next press could overwrite it), and the pressed control's highlight dropped (the worker
// repaints when it acts).
void finish(Ui& ui, const PressFlags& f) {
  if (f.command != kCommandNone) {
    if (f.pauseFirst) pause(kHandOverPause);
    ui.handOverCommand(f.command);
    clearHovers(ui);
  }
  if (f.changed) {
    ui.pendingCommand =
        currentBlock(ui)[kReceived] != 0 ? kCommandSendSettings : kCommandReadSettings;
    ui.workerBell.ring();
  }
  if (f.repaint && ui.platform) ui.platform->requestRepaint();
}

}  // namespace

void Ui::logicalPointer(int32_t& x, int32_t& y) const {
  double factor = static_cast<double>(platform->dpi()) / 96.0;
  if (!(factor > 0.0)) factor = 1.0;
  x = static_cast<int32_t>(platform->pointerX / factor);
  y = static_cast<int32_t>(platform->pointerY / factor);
}

void Ui::handOverCommand(int32_t code) {
  pendingCommand.publish(code);
  workerBell.ring();
  pause(kHandOverPause);
}

void Ui::onPointerMove() {
  if (linkState != kConnected || !platform) return;
  int32_t x = 0;
  int32_t y = 0;
  logicalPointer(x, y);
  bool repaint = false;
  bool hand = false;
  for (HitRegion& r : hitRegions) {
    if (skipped(*this, r)) continue;
    if (r.kind == kHover) {
      const bool in = contains(r, x, y);
      if (in && r.hovered == 0) {
        r.hovered = 1;
        repaint = true;
        // The switches on the device picture.
        if (r.id >= control::kIrSwitch1 && r.id <= control::kFootswitchBoost) hand = true;
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
  logicalPointer(x, y);
  PressFlags f;
  const int32_t shownProgram = program;
  {
    // The values read here, the change and the step it makes are one unit: a dump applied in
    // between would become part of the step, and undoing it would revert the device's change.
    const auto lock = lockHistory();
    const SettingsValues before = settingsValues(shownProgram);
    for (const HitRegion& r : hitRegions) {
      if (r.kind != kPress || skipped(*this, r) || !contains(r, x, y)) continue;
      // Neighbouring controls share their edge columns (a folder icon and the "+" beside it,
      // two list rows); one press acts on the first live control only.
      if (act(*this, r.id, f)) {
        if (f.changed) recordStep(shownProgram, r.id, before);
        break;
      }
    }
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
  logicalPointer(x, y);
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
