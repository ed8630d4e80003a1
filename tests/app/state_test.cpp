// The editor state: start values, the device-field reset, the slot-name hand-off between the
// worker and the paint pass, and the worker's doorbell.
#include <gtest/gtest.h>

#include <atomic>
#include <iterator>
#include <thread>
#include <vector>

#include "app/platform.h"
#include "ui/ui.h"

namespace {

struct Fixture : ::testing::Test {
  orq::Platform platform{"Tarvik Editor", "com.tarvik.editor"};
  orq::Ui ui{&platform};
};

using UiState = Fixture;

TEST_F(UiState, FreshUiHasTheStartValues) {
  EXPECT_EQ(orq::Ui::current(), &ui);
  EXPECT_EQ(ui.linkState, 0);
  EXPECT_EQ(ui.statusCode, -1);
  EXPECT_EQ(ui.pendingCommand, 0);
  EXPECT_EQ(ui.audition, 0);
  EXPECT_EQ(ui.program, 0);
  EXPECT_EQ(ui.deviceFirmwareVersion, 0);
  EXPECT_EQ(ui.imageFirmwareVersion, 0);
  for (auto& row : ui.programBlocks) {
    for (auto& word : row) ASSERT_EQ(word, 0);
  }
  for (int s = 0; s < orq::kSlotCount; ++s) EXPECT_TRUE(ui.slotName(s).empty());
  for (int i = 0; i < orq::kCatalogueSize; ++i) {
    EXPECT_EQ(ui.catalogue[i].mainFlag, i < 3 ? 1 : 0) << i;
    EXPECT_NE(ui.catalogue[i].blob, nullptr) << i;
    EXPECT_FALSE(ui.catalogue[i].name.empty()) << i;
  }
  EXPECT_TRUE(ui.hitRegions.empty());
  EXPECT_TRUE(static_cast<bool>(platform.callback)) << "the Ui registers its callback";
}

TEST_F(UiState, ResetClearsDeviceFieldsAndKeepsLinkCommandAndAudition) {
  ui.linkState = 3;
  ui.pendingCommand = 7;
  ui.audition = 1;
  ui.deviceFirmwareVersion = 0x0102;
  ui.imageFirmwareVersion = 0x0103;
  ui.statusCode = 57;
  ui.program = 12;
  ui.midiChannel = 16;
  ui.boostLock = 1;
  ui.browserSlot = 4;
  ui.ccListOpen = 1;
  ui.browserListMode = 1;
  ui.catalogueIndex = 9;
  ui.modelKind = 2;
  ui.programBlocks[127][15] = 1;
  ui.programBlocks[3][7] = 3;
  ui.setSlotName(5, L"CAB");
  ui.hitRegions.push_back({1, 0, 0, 5, 5, 2, 1});

  ui.resetDeviceFields();  // as the worker calls it

  // The panel's own view is the user-interface thread's: the worker's reset leaves it, and the
  // panel's next event (any kind) resets it.
  const int32_t view[] = {ui.browserSlot, ui.ccListOpen, ui.browserListMode, ui.catalogueIndex};
  EXPECT_EQ(std::vector<int32_t>(std::begin(view), std::end(view)),
            (std::vector<int32_t>{4, 1, 1, 9}));
  platform.deliver(orq::PlatformEvent::Timer);

  EXPECT_EQ(ui.linkState, 3);
  EXPECT_EQ(ui.pendingCommand, 7);
  EXPECT_EQ(ui.audition, 1);
  EXPECT_EQ(ui.hitRegions.size(), 1u);
  EXPECT_EQ(ui.deviceFirmwareVersion, 0);
  EXPECT_EQ(ui.imageFirmwareVersion, 0);
  EXPECT_EQ(ui.statusCode, -1);
  EXPECT_EQ(ui.program, 0);
  EXPECT_EQ(ui.midiChannel, 0);
  EXPECT_EQ(ui.boostLock, 0);
  EXPECT_EQ(ui.browserSlot, 0);
  EXPECT_EQ(ui.ccListOpen, 0);
  EXPECT_EQ(ui.browserListMode, 0);
  EXPECT_EQ(ui.catalogueIndex, 0);
  EXPECT_EQ(ui.modelKind, 0);
  EXPECT_EQ(ui.programBlocks[127][15], 0);
  EXPECT_EQ(ui.programBlocks[3][7], 0);
  EXPECT_TRUE(ui.slotName(5).empty());
}

TEST_F(UiState, SlotNamesOutsideTheSixAreIgnored) {
  ui.setSlotName(-1, L"X");
  ui.setSlotName(6, L"X");
  EXPECT_TRUE(ui.slotName(-1).empty());
  EXPECT_TRUE(ui.slotName(6).empty());
}

// The worker replaces names while the paint pass reads them; a reader must only ever see one
// of the whole names (ThreadSanitizer checks the hand-off in CI).
TEST_F(UiState, SlotNameIsNeverSeenHalfWritten) {
  const std::wstring a(64, L'A');
  const std::wstring b(5, L'B');
  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (int i = 0; i < 20000; ++i) ui.setSlotName(2, (i & 1) ? a : b);
    done = true;
  });
  // Reads at least once even when the writer is done before this thread gets to run.
  do {
    const std::wstring seen = ui.slotName(2);
    ASSERT_TRUE(seen.empty() || seen == a || seen == b);
  } while (!done);
  writer.join();
}

// A ring is never lost: one made before the wait is kept for it, one from another thread ends
// it early, and without one the wait lasts until its deadline.
TEST(Doorbell, RingsAreKeptUntilTakenAndWakeTheWaiter) {
  using std::chrono::steady_clock;
  using namespace std::chrono_literals;
  orq::Doorbell bell;
  bell.ring();
  EXPECT_TRUE(bell.waitUntil(steady_clock::now()));
  const auto start = steady_clock::now();
  EXPECT_FALSE(bell.waitUntil(start + 20ms));  // taken: nothing left
  EXPECT_GE(steady_clock::now() - start, 20ms);
  std::thread ringer([&] {
    std::this_thread::sleep_for(20ms);
    bell.ring();
  });
  EXPECT_TRUE(bell.waitUntil(steady_clock::now() + 60s));
  ringer.join();
}

}  // namespace
