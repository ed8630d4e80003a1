// The panel's controls by name: the ids the paint pass registers hit regions under and pointer
// input acts on, and the kinds of region. Controls that come in rows (one per IR slot, one per
// catalogue entry) have the id of their first member; the others follow in order.
#pragma once

#include <cstdint>

#include "ui/ui_host.h"

namespace orq {

// What a hit region answers: the value of the PlatformEvent it is tested on.
enum RegionKind : int32_t {
  kHover = static_cast<int32_t>(PlatformEvent::MouseMove),  // highlight while the pointer is in
  kPress = static_cast<int32_t>(PlatformEvent::LeftDown),   // acts on a left press
  kWheel = static_cast<int32_t>(PlatformEvent::Wheel),      // steps on a wheel turn
};

namespace control {

enum Id : uint32_t {
  // Top bar.
  kStore = 0,
  kChannelDown = 1,  // MIDI channel arrows
  kChannelUp = 2,
  kProgramBox = 3,  // wheel only
  kProgramDown = 4,
  kProgramUp = 5,
  // Switch row.
  kChannelSwitch = 6,
  kBoostSwitch = 7,
  kIrBypassSwitch = 8,
  kLoopBypassSwitch = 9,
  // Left column, one per user IR slot 1..6 (slots 1..3 in channel 1, 4..6 in channel 2).
  kIrRadio = 10,       // 10..15: selects the slot for its channel
  kImportFolder = 16,  // 16..21: imports a WAV file into the slot
  // Factory IR browser.
  kEntryPrevious = 22,
  kEntryNext = 23,
  kExtractAll = 24,
  kSelect = 25,
  kEntryTitle = 26,  // switches between the description and the list
  kListRow = 27,     // 27..44: one per catalogue entry
  kAudition = 45,
  // Left column again: the "+" of user IR slot 1..6 opens the browser for it.
  kSlotBrowser = 46,  // 46..51
  // Device picture.
  kIrSwitch1 = 52,
  kIrSwitch2 = 53,
  kFootswitchChannel1 = 54,
  kFootswitchChannel2 = 55,
  kFootswitchBoost = 56,
  // Top bar.
  kBoostLock = 57,
  // Channel sections: the switches of channel 1, then channel 2.
  kPresence1 = 58,
  kDeep1 = 59,
  kPresence2 = 60,
  kDeep2 = 61,
  kLowpass1 = 62,
  kLowpass2 = 63,
  kGate1 = 64,
  kGate2 = 65,
  // Left column.
  kCcList = 66,
};

// The id of member `index` of a row of controls starting at `first`.
constexpr uint32_t nth(Id first, int32_t index) {
  return static_cast<uint32_t>(first) + static_cast<uint32_t>(index);
}

// The index of `id` in the row of `count` controls starting at `first`, or -1.
constexpr int32_t indexIn(uint32_t id, Id first, int32_t count) {
  return id >= first && id < nth(first, count) ? static_cast<int32_t>(id - first) : -1;
}

}  // namespace control
}  // namespace orq
