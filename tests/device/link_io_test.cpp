// The worker's fault paths that need no MIDI service: pauses at the edges of their range, the
// reply wait fed through an inbox by hand, the input queue under a burst, and a stop that comes
// before the worker's thread runs. Threads stand in for the library's input thread and for the
// user-interface thread that asks for shutdown.
#include "device/link_io.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "device/device_link.h"
#include "device/midi_port.h"
#include "device/protocol.h"
#include "state/editor_state.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Bytes = std::vector<unsigned char>;

struct Linked {
  orq::EditorState ui;
  orq::DeviceLink link;
  orq::MidiInbox inbox{100};
  Linked() { link.state = &ui; }
};

// Runs `body` on its own thread and gives its result, or fails when it has not returned after
// 10 s (which only a hang reaches); `rescue` is then run so that the thread can end.
template <typename F>
auto bounded(F body, const std::function<void()>& rescue) {
  auto result = std::async(std::launch::async, body);
  if (result.wait_for(10s) != std::future_status::ready) {
    ADD_FAILURE() << "did not return";
    rescue();
  }
  return result.get();
}

TEST(LinkPrimitives, PauseForAtTheEdgesOfItsRange) {
  enum class Then { Nothing, Stop, ServiceGone };
  const struct {
    std::chrono::milliseconds interval;
    Then then;  // what another thread does 30 ms in
    bool result;
    std::chrono::milliseconds atLeast;
  } cases[] = {
      {0ms, Then::Nothing, true, 0ms},
      {-5ms, Then::Nothing, true, 0ms},
      {std::chrono::milliseconds::min(), Then::Nothing, true, 0ms},
      {40ms, Then::Nothing, true, 40ms},
      // A deadline of now + max must saturate, not wrap into the past.
      {std::chrono::milliseconds::max(), Then::Stop, false, 30ms},
      {std::chrono::milliseconds::max(), Then::ServiceGone, false, 30ms},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.interval.count());
    Linked l;
    // Before the other thread starts its 30 ms: on a loaded machine it may run first.
    const auto t0 = Clock::now();
    std::thread other([&] {
      if (c.then == Then::Nothing) return;
      std::this_thread::sleep_for(30ms);
      (c.then == Then::Stop ? l.link.stopRequested : l.link.serviceLost) = 1;
    });
    const bool r = bounded([&] { return orq::pauseFor(l.link, c.interval); },
                           [&] { l.link.stopRequested = 1; });
    EXPECT_EQ(r, c.result);
    EXPECT_GE(Clock::now() - t0, c.atLeast);
    other.join();
  }
}

// VERSION 1.2 as the device sends it, and traffic that is not the awaited reply.
const Bytes kVersionReply{0xF0, 0x00, 0x0B, 0x01, 0x02, 0xF7};
const Bytes kForeign{0xF0, 0x01, 0x0B, 0x01, 0x02, 0xF7};

TEST(LinkPrimitives, WaitForReplyOutcomes) {
  enum class Feed { None, Reply, StreamThenReply, Stop, ServiceGone };
  const struct {
    const char* name;
    bool inbox;
    int32_t before;  // lastReply when the wait starts
    Feed feed;
    orq::WaitResult result;
  } cases[] = {
      {"already there", false, orq::kVersion, Feed::None, orq::WaitResult::Arrived},
      {"arrives", true, 0, Feed::Reply, orq::WaitResult::Arrived},
      // 300 foreign messages, one a millisecond, would use up a budget counted in polls.
      {"after a stream", true, 0, Feed::StreamThenReply, orq::WaitResult::Arrived},
      {"stop", true, 0, Feed::Stop, orq::WaitResult::Stopped},
      {"service gone", true, 0, Feed::ServiceGone, orq::WaitResult::Stopped},
      {"no inbox", false, 0, Feed::None, orq::WaitResult::TimedOut},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Linked l;
    if (c.inbox) l.link.midiInbox = &l.inbox;
    l.link.lastReply = c.before;
    l.ui.linkState = orq::kBusy;
    std::thread device([&] {
      std::this_thread::sleep_for(20ms);
      switch (c.feed) {
        case Feed::None:
          break;
        case Feed::StreamThenReply:
          for (int i = 0; i < 300; ++i) {
            l.inbox.push(kForeign);
            std::this_thread::sleep_for(1ms);
          }
          [[fallthrough]];
        case Feed::Reply:
          l.inbox.push(kVersionReply);
          break;
        case Feed::Stop:
          l.link.stopRequested = 1;
          break;
        case Feed::ServiceGone:
          l.link.serviceLost = 1;
          break;
      }
    });
    const auto t0 = Clock::now();
    const orq::WaitResult r = bounded([&] { return orq::waitForReply(l.link, orq::kVersion); },
                                      [&] { l.link.stopRequested = 1; });
    device.join();
    EXPECT_EQ(r, c.result);
    if (c.feed == Feed::Reply || c.feed == Feed::StreamThenReply) {
      EXPECT_EQ(l.ui.deviceFirmwareVersion.get(), 0x0102);
    }
    if (r == orq::WaitResult::TimedOut) {
      EXPECT_GE(Clock::now() - t0, 1000ms);
    }
    // A wait never marks anything itself; its caller does.
    EXPECT_EQ(l.ui.linkState.get(), orq::kBusy);
    EXPECT_EQ(l.link.failureCount.get(), 0);
  }
}

// The library's thread delivers faster than the worker takes: the oldest 100 are kept, in order,
// and the queue takes messages again once drained.
TEST(LinkPrimitives, InboxKeepsTheOldestHundredInOrder) {
  orq::MidiInbox inbox(100);
  std::thread library([&] {
    for (int i = 0; i < 250; ++i)
      inbox.push(
          {0xF0, static_cast<unsigned char>(i & 0x7F), static_cast<unsigned char>(i >> 7), 0xF7});
    inbox.push({});  // an empty message is no message
  });
  library.join();
  EXPECT_EQ(inbox.size(), 100u);
  Bytes m;
  for (int i = 0; i < 100; ++i) {
    ASSERT_TRUE(inbox.take(m));
    EXPECT_EQ(m, (Bytes{0xF0, static_cast<unsigned char>(i), 0, 0xF7})) << i;
  }
  EXPECT_FALSE(inbox.take(m));
  EXPECT_TRUE(m.empty());
  EXPECT_FALSE(inbox.waitForMessage(Clock::now() + 20ms));
  std::thread late([&] {
    std::this_thread::sleep_for(20ms);
    inbox.push(kVersionReply);
  });
  EXPECT_TRUE(inbox.waitForMessage(Clock::now() + 10s));
  late.join();
  ASSERT_TRUE(inbox.take(m));
  EXPECT_EQ(m, kVersionReply);
}

// Shutdown asked for before the worker's thread runs: the thread ends without touching the
// editor state, whether or not a MIDI service is there.
TEST(LinkPrimitives, StopBeforeTheThreadStarts) {
  Linked l;
  l.link.stopRequested = 1;
  l.ui.linkState = orq::kBusy;
  l.ui.pendingCommand = orq::kCommandStore;
  std::thread worker(orq::runWorker, &l.link);
  bounded([&] { worker.join(); }, [&] { l.link.stopRequested = 1; });
  EXPECT_EQ(l.ui.linkState.get(), orq::kBusy);
  EXPECT_EQ(l.ui.pendingCommand.get(), orq::kCommandStore);
  EXPECT_EQ(l.link.midiIn, nullptr);
  EXPECT_EQ(l.link.midiInbox, nullptr);
}

}  // namespace
