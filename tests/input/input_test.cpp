// Pointer input driven with synthetic events on the window-less platform, after a real offscreen
// paint at 1024 x 740 has left its hit regions. Points are the layout's logical positions.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

#include "app/platform.h"
#include "app/platform_offscreen.h"
#include "render/offscreen.h"
#include "ui/controls.h"
#include "ui/ui.h"

namespace orq {
namespace {

struct Point {
  int32_t x, y;
};

// Centres of controls at 1024 x 740 (browser closed unless noted).
constexpr Point kStore{200, 20};
constexpr Point kMidiDown{912, 20};
constexpr Point kMidiUp{976, 20};
constexpr Point kProgramBox{600, 20};
constexpr Point kProgramDown{543, 20};
constexpr Point kProgramUp{730, 20};
constexpr Point kBoostLock{828, 20};
constexpr Point kChannelSwitch{397, 61};
constexpr Point kBoostSwitch{527, 61};
constexpr Point kLoopSwitch{657, 61};
constexpr Point kIrBypassSwitch{787, 61};
constexpr Point kCcPlus{237, 701};
constexpr Point kNowhere{100, 300};  // left column, between the sections
constexpr Point kFootswitch[3] = {{404, 577}, {635, 577}, {869, 577}};
constexpr Point kIrSwitch[2] = {{448, 301}, {448, 424}};
// Browser (open).
constexpr Point kPrevious{263, 20};
constexpr Point kNext{486, 20};
constexpr Point kTitle{375, 20};
constexpr Point kExtractAll{315, 698};
constexpr Point kSelect{434, 698};
constexpr Point kAuditionSwitch{400, 665};

// Slot s (0..5): its radio, folder and "+".
int32_t rowY(int s) {
  return (s < 3 ? 41 : 354) + 99 + 31 * (s % 3) + 15;
}
Point radio(int s) {
  return {14, rowY(s)};
}
Point folder(int s) {
  return {214, rowY(s)};
}
Point plus(int s) {
  return {238, rowY(s)};
}
Point listRow(int i) {
  return {375, 57 + 31 * i};
}

class Rig {
 public:
  Platform platform{"Tarvik Editor", "com.tarvik.editor"};
  Ui ui{&platform};

  explicit Rig(int32_t model = 1) {
    offscreen::setDpi(96.0f);
    ui.linkState = kConnected;
    ui.modelKind = model;
    block()[kReceived] = 1;
    paint();
  }
  ~Rig() { offscreen::setDpi(96.0f); }

  void paint() {
    render::OffscreenSurface surface(1024, 740);
    offscreen::paint(surface, platform);
  }
  Shared<int32_t>* block() { return ui.programBlocks[ui.program]; }
  void at(Point p) {
    platform.pointerX = p.x;
    platform.pointerY = p.y;
  }
  void press(Point p) {
    at(p);
    platform.deliver(PlatformEvent::LeftDown);
  }
  void move(Point p) {
    at(p);
    platform.deliver(PlatformEvent::MouseMove);
  }
  void wheel(int32_t notches, Point p) {
    at(p);
    platform.wheelTotal += notches;
    platform.deliver(PlatformEvent::Wheel);
  }
  void openBrowser(int32_t slot, bool list = false) {
    ui.browserSlot = slot;
    ui.browserListMode = list ? 1 : 0;
    paint();
  }
  bool hovered(uint32_t id) const { return ui.isHovered(id); }
};

using Target = std::function<Shared<int32_t>&(Ui&)>;
Target word(int k) {
  return [k](Ui& ui) -> Shared<int32_t>& { return ui.programBlocks[ui.program][k]; };
}
Target field(Shared<int32_t> Ui::*member) {
  return [member](Ui& ui) -> Shared<int32_t>& { return ui.*member; };
}

struct SettingCase {
  const char* name;
  Point where;
  Target target;
  int32_t before, after;
  std::function<void(Ui&)> setup = nullptr;
};

TEST(Input, EverySettingControlStepsItsValueAndSendsTheBlock) {
  const SettingCase cases[] = {
      {"MIDI down", kMidiDown, field(&Ui::midiChannel), 5, 4},
      {"MIDI down at 0", kMidiDown, field(&Ui::midiChannel), 0, 16},
      {"MIDI down below 0", kMidiDown, field(&Ui::midiChannel), -3, 16},
      {"MIDI up", kMidiUp, field(&Ui::midiChannel), 3, 4},
      {"MIDI up at 16", kMidiUp, field(&Ui::midiChannel), 16, 0},
      {"MIDI up above 16", kMidiUp, field(&Ui::midiChannel), 31, 0},
      {"program up", kProgramUp, field(&Ui::program), 0, 1},
      {"program down", kProgramDown, field(&Ui::program), 64, 63},
      {"CHANNEL on", kChannelSwitch, word(kActiveChannel), 0, 1},
      {"CHANNEL off", kChannelSwitch, word(kActiveChannel), 1, 0},
      {"BOOST channel 1", kBoostSwitch, word(kBoost1), 0, 1},
      {"BOOST channel 2", kBoostSwitch, word(kBoost2), 1, 0,
       [](Ui& ui) { ui.programBlocks[0][kActiveChannel] = 1; }},
      {"BOOST locked on channel 2", kBoostSwitch, word(kBoost1), 0, 1,
       [](Ui& ui) {
         ui.boostLock = 1;
         ui.programBlocks[0][kActiveChannel] = 1;
       }},
      {"IR BYPASS", kIrBypassSwitch, word(kIrBypass), 0, 1},
      {"LOOP BYPASS", kLoopSwitch, word(kLoopBypass), 1, 0},
      {"toggle of 5", kLoopSwitch, word(kLoopBypass), 5, 0},
      {"radio ch1 row 0", radio(0), word(kIrSelect1), 2, 0},
      {"radio ch1 row 1", radio(1), word(kIrSelect1), 0, 1},
      {"radio ch1 row 2", radio(2), word(kIrSelect1), 0, 2},
      {"radio ch2 row 0", radio(3), word(kIrSelect2), 1, 0},
      {"radio ch2 row 1", radio(4), word(kIrSelect2), 0, 1},
      {"radio ch2 row 2", radio(5), word(kIrSelect2), 0, 2},
      {"picture IR switch 1 from 0", kIrSwitch[0], word(kIrSelect1), 0, 1},
      {"picture IR switch 1 from 1", kIrSwitch[0], word(kIrSelect1), 1, 2},
      {"picture IR switch 1 from 2", kIrSwitch[0], word(kIrSelect1), 2, 0},
      {"picture IR switch 1 from 7", kIrSwitch[0], word(kIrSelect1), 7, 0},
      {"picture IR switch 2", kIrSwitch[1], word(kIrSelect2), 2, 0},
      {"left footswitch", kFootswitch[0], word(kActiveChannel), 1, 0},
      {"middle footswitch", kFootswitch[1], word(kActiveChannel), 0, 1},
      {"right footswitch", kFootswitch[2], word(kBoost1), 1, 0},
      {"right footswitch locked", kFootswitch[2], word(kBoost1), 0, 1,
       [](Ui& ui) {
         ui.boostLock = 1;
         ui.programBlocks[0][kActiveChannel] = 1;
       }},
      {"BOOST LOCK", kBoostLock, field(&Ui::boostLock), 0, 1},
      {"PRESENCE 1 from 0", {29, 90}, word(kPresence1), 0, 1},
      {"PRESENCE 1 from 1", {29, 90}, word(kPresence1), 1, 2},
      {"PRESENCE 1 from 2", {29, 90}, word(kPresence1), 2, 3},
      {"PRESENCE 1 from 3", {29, 90}, word(kPresence1), 3, 1},
      {"PRESENCE 2 from 4", {29, 403}, word(kPresence2), 4, 1},
      {"DEEP 1", {157, 90}, word(kDeep1), 2, 3},
      {"DEEP 2", {157, 403}, word(kDeep2), 3, 1},
      {"LOWPASS 1", {29, 123}, word(kLowpass1), 1, 2},
      {"LOWPASS 2", {29, 436}, word(kLowpass2), 0, 1},
      {"GATE 1 from 0", {157, 123}, word(kGate1), 0, 1},
      {"GATE 1 from 2", {157, 123}, word(kGate1), 2, 3},
      {"GATE 1 from 3", {157, 123}, word(kGate1), 3, 0},
      {"GATE 2 from 5", {157, 436}, word(kGate2), 5, 0},
  };
  for (const SettingCase& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    for (auto& row : rig.ui.programBlocks) row[kReceived] = 1;
    if (c.setup) c.setup(rig.ui);
    c.target(rig.ui) = c.before;
    offscreen::resetRepaintRequests();
    rig.press(c.where);
    EXPECT_EQ(c.target(rig.ui).get(), c.after);
    EXPECT_EQ(rig.ui.pendingCommand.get(), 1);
    EXPECT_EQ(offscreen::repaintRequests(), 1);
  }
}

TEST(Input, ASettingChangeAsksForABlockNotYetReceived) {
  struct Case {
    const char* name;
    Point where;
    int32_t programBefore;
    bool targetReceived;
    int32_t programAfter, command;
  };
  const Case cases[] = {
      {"down at 0, 127 received", kProgramDown, 0, true, 127, 1},
      {"down at 0, 127 not received", kProgramDown, 0, false, 127, 2},
      {"up at 127, 0 received", kProgramUp, 127, true, 0, 1},
      {"up at 127, 0 not received", kProgramUp, 127, false, 0, 2},
      {"up above 127", kProgramUp, 200, false, 0, 2},
      {"switch on an unreceived program", kChannelSwitch, 9, false, 9, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    rig.ui.program = c.programBefore;
    for (auto& row : rig.ui.programBlocks) row[kReceived] = 0;
    rig.ui.programBlocks[c.programAfter][kReceived] = c.targetReceived ? 1 : 0;
    rig.press(c.where);
    EXPECT_EQ(rig.ui.program.get(), c.programAfter);
    EXPECT_EQ(rig.ui.pendingCommand.get(), c.command);
    EXPECT_TRUE(rig.ui.workerBell.waitUntil(std::chrono::steady_clock::now()));  // woken
  }
}

TEST(Input, CommandButtonsHandOverAndDropTheHighlight) {
  struct Case {
    const char* name;
    Point where;
    int32_t browser;  // browser slot opened first, 0: closed
    int32_t command;
  };
  const Case cases[] = {
      {"STORE", kStore, 0, 3},
      {"folder 1", folder(0), 0, 4},
      {"folder 2", folder(1), 0, 5},
      {"folder 3", folder(2), 0, 6},
      {"folder 4", folder(3), 0, 7},
      {"folder 5", folder(4), 0, 8},
      {"folder 6", folder(5), 0, 9},
      {"SELECT", kSelect, 2, 10},
      {"EXTRACT ALL", kExtractAll, 2, 11},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    if (c.browser) rig.openBrowser(c.browser);
    rig.move(c.where);
    ASSERT_TRUE(std::any_of(rig.ui.hitRegions.begin(), rig.ui.hitRegions.end(),
                            [](const HitRegion& r) { return r.hovered != 0; }));
    offscreen::resetRepaintRequests();
    rig.press(c.where);
    EXPECT_EQ(rig.ui.pendingCommand.get(), c.command);
    EXPECT_TRUE(rig.ui.workerBell.waitUntil(std::chrono::steady_clock::now()));  // woken
    for (const HitRegion& r : rig.ui.hitRegions) EXPECT_EQ(r.hovered, 0) << "id " << r.id;
    EXPECT_EQ(offscreen::repaintRequests(), 0);  // the worker repaints when it acts
    EXPECT_EQ(rig.ui.browserSlot.get(), c.browser);
  }
}

TEST(Input, SlotPlusOpensSwitchesAndClosesTheBrowser) {
  Rig rig;
  rig.press(plus(0));
  EXPECT_EQ(rig.ui.browserSlot.get(), 1);
  rig.paint();
  rig.press(plus(4));
  EXPECT_EQ(rig.ui.browserSlot.get(), 5);
  rig.press(plus(4));
  EXPECT_EQ(rig.ui.browserSlot.get(), 0);
  EXPECT_EQ(rig.ui.pendingCommand.get(), 0);
}

TEST(Input, BrowserChoosesEntriesAndAuditionsEachChoice) {
  struct Case {
    const char* name;
    Point where;
    bool list;
    int32_t before, after;
  };
  const Case cases[] = {
      {"previous", kPrevious, false, 5, 4},
      {"previous wraps", kPrevious, false, 0, 17},
      {"next", kNext, false, 5, 6},
      {"next wraps", kNext, false, 17, 0},
      {"next above 17", kNext, false, 40, 0},
      {"list row 0", listRow(0), true, 5, 0},
      {"list row 17", listRow(17), true, 0, 17},
  };
  for (bool audition : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << c.name << (audition ? ", audition" : ""));
      Rig rig;
      rig.ui.audition = audition ? 1 : 0;
      rig.ui.catalogueIndex = c.before;
      rig.openBrowser(3, c.list);
      rig.press(c.where);
      EXPECT_EQ(rig.ui.catalogueIndex.get(), c.after);
      EXPECT_EQ(rig.ui.pendingCommand.get(), audition ? 10 : 0);
      EXPECT_EQ(rig.ui.browserListMode.get(), 0);  // a press folds the list
      EXPECT_EQ(rig.ui.browserSlot.get(), 3);      // the browser stays open
    }
  }
}

TEST(Input, TitleListFoldingAndInertRows) {
  Rig rig;
  rig.openBrowser(1);
  rig.press(kTitle);  // opens the list and leaves it open
  EXPECT_EQ(rig.ui.browserListMode.get(), 1);
  rig.paint();
  rig.press(kTitle);  // closes it again
  EXPECT_EQ(rig.ui.browserListMode.get(), 0);

  rig.press(kTitle);
  rig.paint();
  rig.press(kNowhere);  // any press folds the list
  EXPECT_EQ(rig.ui.browserListMode.get(), 0);
  EXPECT_EQ(rig.ui.catalogueIndex.get(), 0);

  rig.paint();  // description shown; the row records are still in the list but inert
  rig.ui.audition = 1;
  rig.press(listRow(6));
  EXPECT_EQ(rig.ui.catalogueIndex.get(), 0);
  EXPECT_EQ(rig.ui.pendingCommand.get(), 0);

  rig.press(kAuditionSwitch);
  EXPECT_EQ(rig.ui.audition.get(), 0);
  rig.press(kAuditionSwitch);
  EXPECT_EQ(rig.ui.audition.get(), 1);
}

TEST(Input, OpenBrowserMutesThePictureSide) {
  struct Case {
    const char* name;
    Point where;
    std::function<int32_t(Ui&)> watched;
    int32_t expected;  // the watched value after the press, browser open on slot 2
  };
  const Case cases[] = {
      {"BOOST LOCK", kBoostLock, [](Ui& ui) { return ui.boostLock.get(); }, 0},
      {"program up", kProgramUp, [](Ui& ui) { return ui.program.get(); }, 0},
      {"MIDI up", kMidiUp, [](Ui& ui) { return ui.midiChannel.get(); }, 0},
      {"CHANNEL", kChannelSwitch, [](Ui& ui) { return ui.programBlocks[0][1].get(); }, 0},
      {"footswitch", kFootswitch[1], [](Ui& ui) { return ui.programBlocks[0][1].get(); }, 0},
      {"STORE works", kStore, [](Ui& ui) { return ui.pendingCommand.get(); }, 3},
      {"radio works", radio(1), [](Ui& ui) { return ui.programBlocks[0][4].get(); }, 1},
      {"presence works", {29, 90}, [](Ui& ui) { return ui.programBlocks[0][7].get(); }, 1},
      {"CC list works", kCcPlus, [](Ui& ui) { return ui.ccListOpen.get(); }, 1},
      {"folder works", folder(5), [](Ui& ui) { return ui.pendingCommand.get(); }, 9},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    rig.openBrowser(2);
    rig.press(c.where);
    EXPECT_EQ(c.watched(rig.ui), c.expected);
  }

  // Closed again, the browser's records are inert although they stay in the list.
  Rig rig;
  rig.openBrowser(2, true);
  rig.ui.browserSlot = 0;
  rig.paint();
  rig.press(kSelect);
  rig.press(listRow(3));
  EXPECT_EQ(rig.ui.pendingCommand.get(), 0);
  EXPECT_EQ(rig.ui.catalogueIndex.get(), 0);
  rig.move(kSelect);
  EXPECT_FALSE(rig.hovered(control::kSelect));
}

TEST(Input, CcListExpanderToggles) {
  Rig rig;
  rig.press(kCcPlus);
  EXPECT_EQ(rig.ui.ccListOpen.get(), 1);
  rig.paint();
  rig.press({237, 740 - 235 + 15});
  EXPECT_EQ(rig.ui.ccListOpen.get(), 0);
  EXPECT_EQ(rig.ui.pendingCommand.get(), 0);
}

TEST(Input, EdgesCountAndPointsAreConvertedByTheDpi) {
  struct Case {
    float dpi;
    Point device;
    bool hitsStore;  // STORE is (173, 7, 70, 27)
  };
  const Case cases[] = {
      {96, {173, 7}, true},    {96, {243, 34}, true},   {96, {172, 20}, false},
      {96, {244, 20}, false},  {96, {200, 6}, false},   {96, {200, 35}, false},
      {144, {300, 30}, true},  {144, {365, 51}, true},  {144, {366, 30}, false},
      {144, {259, 30}, false}, {144, {260, 11}, true},  {192, {486, 68}, true},
      {120, {304, 43}, true},  {120, {305, 20}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.dpi << " dpi at " << c.device.x << "," << c.device.y);
    Rig rig;
    offscreen::setDpi(c.dpi);
    rig.press(c.device);
    EXPECT_EQ(rig.ui.pendingCommand.get(), c.hitsStore ? 3 : 0);
  }
  // 144 dpi: the device point (300, 150) is the logical (200, 100); the hover of the THUMP
  // switch of channel 1 (135, 80, 44, 20) reaches x 179, so x 200 is outside and 178 inside.
  Rig rig;
  offscreen::setDpi(144);
  rig.move({300, 150});
  EXPECT_FALSE(rig.hovered(control::kDeep1));
  rig.move({267, 150});  // 178
  EXPECT_TRUE(rig.hovered(control::kDeep1));
}

TEST(Input, NothingHappensUnlessConnectedAndIdle) {
  for (int32_t link : {kNoDevice, kBusy, kError}) {
    SCOPED_TRACE(testing::Message() << "linkState " << link);
    Rig rig;
    rig.ui.linkState = link;
    offscreen::resetRepaintRequests();
    const int cursorsBefore = offscreen::cursorChanges();
    rig.move(kStore);
    rig.press(kStore);
    rig.press(kBoostSwitch);
    rig.wheel(1, kProgramBox);
    EXPECT_FALSE(rig.hovered(control::kStore));
    EXPECT_EQ(rig.ui.pendingCommand.get(), 0);
    EXPECT_EQ(rig.ui.programBlocks[0][kBoost1].get(), 0);
    EXPECT_EQ(rig.ui.program.get(), 0);
    EXPECT_EQ(offscreen::repaintRequests(), 0);
    EXPECT_EQ(offscreen::cursorChanges(), cursorsBefore);
  }
  // The program box answers the wheel only; events the panel does not handle do nothing.
  Rig rig;
  offscreen::resetRepaintRequests();
  rig.press(kProgramBox);
  EXPECT_EQ(rig.ui.program.get(), 0);
  EXPECT_EQ(offscreen::repaintRequests(), 0);
  rig.at(kStore);
  for (PlatformEvent e : {PlatformEvent::Activate, PlatformEvent::LeftUp, PlatformEvent::RightDown,
                          PlatformEvent::RightUp, PlatformEvent::Timer}) {
    rig.platform.deliver(e);
  }
  EXPECT_EQ(rig.ui.pendingCommand.get(), 0);
  EXPECT_FALSE(rig.hovered(control::kStore));
}

TEST(Input, HoverAndTheHandCursorOnPictureControls) {
  Rig rig;
  offscreen::resetRepaintRequests();
  int changes = offscreen::cursorChanges();
  struct Step {
    Point where;
    bool cursorChanges;
    bool hand;  // the cursor after the step
    uint32_t hoveredId;
  };
  const Step steps[] = {
      {kFootswitch[0], true, true, control::kFootswitchChannel1},
      // inside: no change
      {{kFootswitch[0].x + 3, kFootswitch[0].y + 3}, false, true, control::kFootswitchChannel1},
      {{600, 300}, true, false, 999},  // off every control
      {{700, 300}, false, false, 999},
      {kIrSwitch[1], true, true, control::kIrSwitch2},
      {kStore, true, false, control::kStore},  // from a picture control straight onto STORE
      {kMidiUp, true, false, control::kChannelUp},
      {kFootswitch[2], true, true, control::kFootswitchBoost},
  };
  const uint32_t watched[] = {control::kStore, control::kChannelUp, control::kIrSwitch2,
                              control::kFootswitchChannel1, control::kFootswitchBoost};
  int repaints = 0;
  for (const Step& s : steps) {
    SCOPED_TRACE(testing::Message() << "to " << s.where.x << "," << s.where.y);
    rig.move(s.where);
    if (s.cursorChanges) {
      ++changes;
      ++repaints;
    }
    EXPECT_EQ(offscreen::cursorChanges(), changes);
    EXPECT_EQ(offscreen::repaintRequests(), repaints);
    EXPECT_EQ(offscreen::handCursor(), s.hand);
    for (uint32_t id : watched) EXPECT_EQ(rig.hovered(id), id == s.hoveredId);
  }
}

TEST(Input, Wheel) {
  struct Case {
    const char* name;
    int32_t notches;
    Point where;
    int32_t browser;
    int32_t programBefore, programAfter, command;
  };
  const Case cases[] = {
      {"one up", 1, kProgramBox, 0, 10, 11, 1},
      {"three down move one", -3, kProgramBox, 0, 10, 9, 1},
      {"down wraps", -1, kProgramBox, 0, 0, 127, 1},
      {"up wraps", 5, kProgramBox, 0, 127, 0, 1},
      {"partial notch does not step", 0, kProgramBox, 0, 10, 10, 0},
      {"outside the program box", 1, kStore, 0, 10, 10, 0},
      {"browser open", 1, kProgramBox, 2, 10, 10, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    if (c.browser) rig.openBrowser(c.browser);
    for (auto& row : rig.ui.programBlocks) row[kReceived] = 1;
    rig.ui.program = c.programBefore;
    rig.wheel(c.notches, c.where);
    EXPECT_EQ(rig.ui.program.get(), c.programAfter);
    EXPECT_EQ(rig.ui.pendingCommand.get(), c.command);
    EXPECT_EQ(rig.platform.wheelTotal, 0);  // every wheel event consumes the count
  }
}

TEST(Input, RegressionStaleWheelCountNeverReversesTheStep) {
  Rig rig;
  rig.ui.program = 10;
  rig.wheel(-5, kStore);  // turned down away from the program box: nothing happens
  rig.wheel(1, kProgramBox);
  EXPECT_EQ(rig.ui.program.get(), 11);
}

TEST(Input, RegressionOnePressActsOnOneControlWhereRegionsTouch) {
  // The folder (204..227) and "+" (226..249) share columns 226 and 227.
  Rig rig;
  rig.press({226, rowY(0)});
  EXPECT_EQ(rig.ui.pendingCommand.get(), 4);
  EXPECT_EQ(rig.ui.browserSlot.get(), 0);

  // Neighbouring list rows share one line: the upper row is chosen, auditioned once.
  Rig list;
  list.ui.audition = 1;
  list.openBrowser(1, true);
  list.press({375, 42 + 31});
  EXPECT_EQ(list.ui.catalogueIndex.get(), 0);
  EXPECT_EQ(list.ui.pendingCommand.get(), 10);
}

// A file dragged over the column: the slot row under it lights its folder icon and takes the
// drop as command 12 for that slot; rows meet without sharing a line; nothing answers elsewhere
// or unless connected and idle.
TEST(Input, DroppedFileGoesToTheSlotRowUnderIt) {
  Rig rig;
  auto folderLit = [&rig](int s) {
    for (int k = 0; k < kSlotCount; ++k) {
      if (rig.hovered(control::nth(control::kImportFolder, k)) != (k == s)) return false;
    }
    return true;
  };
  for (int s = 0; s < kSlotCount; ++s) {
    SCOPED_TRACE(testing::Message() << "slot " << s);
    for (Point p : {Point{0, rowY(s) - 15}, Point{100, rowY(s)}, Point{250, rowY(s) + 15}}) {
      EXPECT_TRUE(rig.platform.dragOver(p.x, p.y));
      EXPECT_TRUE(folderLit(s));
    }
    const std::wstring path = L"/IRs/cab " + std::to_wstring(s) + L".wav";
    EXPECT_TRUE(rig.platform.dropFile(100, rowY(s) + 15, path));
    EXPECT_TRUE(folderLit(-1));
    EXPECT_EQ(rig.ui.pendingCommand.take(0), kCommandImportFile);
    int32_t slot = -1;
    EXPECT_EQ(rig.ui.takeDroppedFile(slot), path);
    EXPECT_EQ(slot, s);
  }
  rig.platform.dragOver(100, rowY(2));
  rig.platform.dragLeave();
  EXPECT_TRUE(folderLit(-1));
  for (Point p : {kNowhere, Point{251, rowY(0)}, Point{100, rowY(0) - 16}, kStore}) {
    EXPECT_FALSE(rig.platform.dragOver(p.x, p.y));
    EXPECT_FALSE(rig.platform.dropFile(p.x, p.y, L"/IRs/cab.wav"));
  }
  for (int32_t link : {kNoDevice, kBusy, kError}) {
    rig.ui.linkState = link;
    EXPECT_FALSE(rig.platform.dragOver(100, rowY(1)));
    EXPECT_FALSE(rig.platform.dropFile(100, rowY(1), L"/IRs/cab.wav"));
    EXPECT_TRUE(folderLit(-1));
  }
  EXPECT_EQ(rig.ui.pendingCommand.get(), 0);
}

}  // namespace
}  // namespace orq
