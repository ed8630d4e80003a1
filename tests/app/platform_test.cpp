// Window sizing by dpi, wheel arithmetic, and the window-less platform's event delivery.
#include <gtest/gtest.h>

#include <vector>

#include "app/platform.h"

namespace {

TEST(Platform, WindowSizeRoundsUpPerDpi) {
  struct Case {
    float dpi;
    int width, height;
  };
  const Case cases[] = {{96, 1024, 740}, {120, 1280, 925}, {144, 1536, 1110}, {110, 1174, 848}};
  for (const Case& c : cases) {
    EXPECT_EQ(orq::scaledWindowSize(c.dpi, orq::kWindowWidth), c.width) << c.dpi;
    EXPECT_EQ(orq::scaledWindowSize(c.dpi, orq::kWindowHeight), c.height) << c.dpi;
  }
}

TEST(Platform, WheelDeltasBelowOneNotchAreLost) {
  EXPECT_EQ(orq::wheelNotches(60), 0);
  EXPECT_EQ(orq::wheelNotches(-60), 0);
  EXPECT_EQ(orq::wheelNotches(240), 2);
  EXPECT_EQ(orq::wheelNotches(-120), -1);
  EXPECT_EQ(orq::wheelNotches(-250), -2);
}

TEST(Platform, EventsBeforeACallbackAreDroppedAndOnlyTheFirstPlatformIsCurrent) {
  orq::Platform first("Tarvik Editor", "com.tarvik.editor");
  orq::Platform second("Tarvik Editor", "com.tarvik.editor");
  EXPECT_EQ(orq::Platform::current(), &first);
  EXPECT_FALSE(first.running);
  first.deliver(orq::PlatformEvent::LeftDown);  // no callback yet: nothing happens

  std::vector<orq::PlatformEvent> seen;
  first.callback = [&](orq::PlatformEvent e) { seen.push_back(e); };
  first.deliver(orq::PlatformEvent::Wheel);
  first.deliver(orq::PlatformEvent::Timer);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0], orq::PlatformEvent::Wheel);
  EXPECT_EQ(static_cast<int>(seen[1]), 8);
}

}  // namespace
