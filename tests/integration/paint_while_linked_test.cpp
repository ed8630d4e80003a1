// The paint pass is the real reader of what the worker writes. Here it runs in a loop, offscreen
// on the test's thread, while the worker reads the device, reads it again after a program change
// and uploads an IR, so that ThreadSanitizer watches every field the two threads share.
#include <gtest/gtest.h>

#include "app/platform_offscreen.h"
#include "render/offscreen.h"
#include "tests/integration/worker_fixture.h"
#include "ui/panel_colours.h"

namespace {

using namespace worker_test;

TEST(PaintWhileLinked, PanelPaintsWhileTheWorkerReadsAndWrites) {
  auto sim = startSim(simOptions("ORQ KTB paint"));
  ASSERT_TRUE(sim);
  Editor ed;
  orq::Ui& ui = ed.ui();
  orq::render::OffscreenSurface surface(1024, 740);
  auto paintUntil = [&](const std::function<bool()>& done) {
    const auto deadline = Clock::now() + 30s;
    while (!done()) {
      if (Clock::now() >= deadline) return false;
      orq::offscreen::paint(surface, ed.platform());
    }
    return true;
  };
  ed.start();
  ASSERT_TRUE(paintUntil([&] { return ui.linkState.get() == orq::kConnected; }));

  sim->changeProgram(5);
  ASSERT_TRUE(paintUntil([&] { return ui.programBlocks[5][orq::kReceived].get() == 1; }));
  // The read the change brings goes on after the program's dump (the slot names): the upload's
  // busy state below must not be that read's.
  ASSERT_TRUE(paintUntil([&] { return ui.linkState.get() == orq::kConnected; }));

  ui.commandSlot = 2;
  ui.commandEntry = 3;
  ui.pendingCommand.publish(orq::kCommandUploadFactoryIr);
  ASSERT_TRUE(paintUntil([&] { return ui.linkState.get() == orq::kBusy; }));
  ASSERT_TRUE(paintUntil([&] { return ui.linkState.get() == orq::kConnected; }));

  // The last frame shows the panel open for input: no veil over the left column.
  orq::offscreen::paint(surface, ed.platform());
  const uint32_t column = surface.pixel(100, 300);
  EXPECT_EQ(column & 0xFFFFFF, orq::panel::kColumn & 0xFFFFFF) << std::hex << column;
  EXPECT_EQ(ui.slotName(1), ui.catalogue[3].name);
}

}  // namespace
