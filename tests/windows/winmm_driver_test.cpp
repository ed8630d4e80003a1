// The tests' WinMM driver (midi_bridge/winmm_driver.c) seen through WinMM as an application
// sees a USB MIDI device on Windows: names cut to 31 characters, a second device of the same
// name numbered, headers prepared by the driver, a sysex out with MOM_DONE, a sysex reply split
// over the application's small buffers (and dropped whole when the queued ones cannot hold it),
// input dropped before midiInStart, buffers given back by midiInReset, and the open and close
// callbacks, the close the last even when it comes during a callback. Runs against orq-devsim
// through the bridge (midi_e2e.py --run).
// clang-format off
#include <windows.h>
#include <mmsystem.h>
// clang-format on
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

// orq-devsim --name "Tarvik ORQ KTB Guitar Preamp USB": its ports "... MIDI In" and
// "... MIDI Out" both end up as the same 31 characters.
const char kPortName[] = "Tarvik ORQ KTB Guitar Preamp US";

struct Event {
  UINT message;
  MIDIHDR* header;    // MIM_LONGDATA, MOM_DONE
  std::string bytes;  // MIM_LONGDATA: what the header held then
  DWORD flags = 0;    // MIM_LONGDATA, MOM_DONE: the header's flags then
};

struct Events {
  std::mutex mutex;
  std::vector<Event> list;  // guarded by mutex

  void add(UINT message, DWORD_PTR param) {
    Event e{message, nullptr, {}};
    if (message == MIM_LONGDATA || message == MOM_DONE) {
      e.header = reinterpret_cast<MIDIHDR*>(param);
      e.flags = e.header->dwFlags;
      if (message == MIM_LONGDATA) e.bytes.assign(e.header->lpData, e.header->dwBytesRecorded);
    }
    std::lock_guard<std::mutex> lock(mutex);
    list.push_back(e);
  }
  std::vector<Event> of(UINT message) {
    std::lock_guard<std::mutex> lock(mutex);
    std::vector<Event> out;
    for (const Event& e : list)
      if (e.message == message) out.push_back(e);
    return out;
  }
  // Waits up to 3 s for `count` events of `message`.
  std::vector<Event> await(UINT message, size_t count) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (of(message).size() < count && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return of(message);
  }
};

void CALLBACK onEvent(HANDLE, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR) {
  reinterpret_cast<Events*>(instance)->add(message, param1);
}

std::string toUtf8(const WCHAR* text) {
  return std::string(text, text + wcslen(text));  // the names here are ASCII
}

// Two devices of the same name (the script starts a second one): Windows numbers the second,
// and the number takes its room from the name's tail.
TEST(WinmmDriver, ListsTheDevicePortsUnderNamesAsWindowsShowsThem) {
  ASSERT_EQ(midiInGetNumDevs(), 2u);
  ASSERT_EQ(midiOutGetNumDevs(), 2u);
  const std::string names[] = {kPortName, "2- Tarvik ORQ KTB Guitar Preamp"};
  for (UINT id = 0; id < 2; ++id) {
    MIDIINCAPSW in{};
    MIDIOUTCAPSW out{};
    ASSERT_EQ(midiInGetDevCapsW(id, &in, sizeof in), MMSYSERR_NOERROR);
    ASSERT_EQ(midiOutGetDevCapsW(id, &out, sizeof out), MMSYSERR_NOERROR);
    EXPECT_EQ(toUtf8(in.szPname), names[id]);
    EXPECT_EQ(toUtf8(out.szPname), names[id]);
    EXPECT_EQ(out.wTechnology, MOD_MIDIPORT);
  }
}

TEST(WinmmDriver, SysexBothWaysThroughTheApplicationsBuffers) {
  Events events;
  HMIDIIN in = nullptr;
  HMIDIOUT out = nullptr;
  ASSERT_EQ(midiInOpen(&in, 0, reinterpret_cast<DWORD_PTR>(&onEvent),
                       reinterpret_cast<DWORD_PTR>(&events), CALLBACK_FUNCTION),
            MMSYSERR_NOERROR);
  ASSERT_EQ(midiOutOpen(&out, 0, reinterpret_cast<DWORD_PTR>(&onEvent),
                        reinterpret_cast<DWORD_PTR>(&events), CALLBACK_FUNCTION),
            MMSYSERR_NOERROR);
  EXPECT_EQ(events.of(MIM_OPEN).size(), 1u);
  EXPECT_EQ(events.of(MOM_OPEN).size(), 1u);

  // Seven buffers of 16 bytes: a 70-byte SLOT_NAME reply takes five.
  std::array<std::array<char, 16>, 7> data{};
  std::array<MIDIHDR, 7> buffers{};
  for (size_t i = 0; i < buffers.size(); ++i) {
    buffers[i].lpData = data[i].data();
    buffers[i].dwBufferLength = data[i].size();
    ASSERT_EQ(midiInPrepareHeader(in, &buffers[i], sizeof(MIDIHDR)), MMSYSERR_NOERROR);
    EXPECT_TRUE(buffers[i].dwFlags & MHDR_PREPARED);
  }
  for (size_t i = 0; i < 2; ++i)
    ASSERT_EQ(midiInAddBuffer(in, &buffers[i], sizeof(MIDIHDR)), MMSYSERR_NOERROR);
  EXPECT_EQ(midiInUnprepareHeader(in, &buffers[0], sizeof(MIDIHDR)), MIDIERR_STILLPLAYING);

  auto send = [&](std::vector<char> sysex) {
    {
      std::lock_guard<std::mutex> lock(events.mutex);
      events.list.clear();
    }
    MIDIHDR h{};
    h.lpData = sysex.data();
    h.dwBufferLength = static_cast<DWORD>(sysex.size());
    ASSERT_EQ(midiOutLongMsg(out, &h, sizeof h), MIDIERR_UNPREPARED);
    ASSERT_EQ(midiOutPrepareHeader(out, &h, sizeof h), MMSYSERR_NOERROR);
    ASSERT_EQ(midiOutLongMsg(out, &h, sizeof h), MMSYSERR_NOERROR);
    EXPECT_TRUE(h.dwFlags & MHDR_DONE);
    const std::vector<Event> done = events.await(MOM_DONE, 1);
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].header, &h);
    EXPECT_TRUE(done[0].flags & MHDR_DONE);
    EXPECT_EQ(midiOutUnprepareHeader(out, &h, sizeof h), MMSYSERR_NOERROR);
  };

  // Before midiInStart the reply (VERSION) is dropped, as Windows drops input then.
  send({'\xf0', 0x00, 0x0b, '\xf7'});
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_TRUE(events.of(MIM_LONGDATA).empty());

  // A reply larger than the buffers queued (two, 32 bytes) is dropped whole: the application
  // never gets the start of a message without its end.
  ASSERT_EQ(midiInStart(in), MMSYSERR_NOERROR);
  send({'\xf0', 0x00, 0x04, 0x00, '\xf7'});  // READ_SLOT_NAME of slot 0
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_TRUE(events.of(MIM_LONGDATA).empty());

  for (size_t i = 2; i < 5; ++i)
    ASSERT_EQ(midiInAddBuffer(in, &buffers[i], sizeof(MIDIHDR)), MMSYSERR_NOERROR);
  send({'\xf0', 0x00, 0x04, 0x00, '\xf7'});
  const std::vector<Event> parts = events.await(MIM_LONGDATA, 5);
  ASSERT_EQ(parts.size(), 5u);
  std::string reply;
  for (size_t i = 0; i < parts.size(); ++i) {
    EXPECT_EQ(parts[i].header, &buffers[i]) << "buffers are filled in the order they were added";
    EXPECT_EQ(parts[i].bytes.size(), i < 4 ? 16u : 6u);
    EXPECT_EQ(parts[i].flags & (MHDR_DONE | MHDR_INQUEUE), static_cast<DWORD>(MHDR_DONE));
    reply += parts[i].bytes;
  }
  std::string name("0_GREEN 412");
  name.resize(64, '\0');
  EXPECT_EQ(reply, std::string("\xf0\x00\x04\x00\x00", 5) + name + "\xf7");

  // midiInReset gives queued buffers back, empty and done. (Closing with buffers queued is
  // refused with MIDIERR_STILLPLAYING on Windows, which keeps the handle; Wine's winmm frees the
  // handle whatever the driver answers, so that is not tried here.)
  for (size_t i = 5; i < 7; ++i)
    ASSERT_EQ(midiInAddBuffer(in, &buffers[i], sizeof(MIDIHDR)), MMSYSERR_NOERROR);
  ASSERT_EQ(midiInReset(in), MMSYSERR_NOERROR);
  const std::vector<Event> back = events.of(MIM_LONGDATA);
  ASSERT_EQ(back.size(), 7u);
  for (size_t i = 5; i < 7; ++i) {
    EXPECT_EQ(back[i].header, &buffers[i]);
    EXPECT_TRUE(back[i].bytes.empty());
    EXPECT_TRUE(back[i].flags & MHDR_DONE);
  }
  for (MIDIHDR& h : buffers) {
    EXPECT_EQ(midiInUnprepareHeader(in, &h, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
    EXPECT_FALSE(h.dwFlags & MHDR_PREPARED);
  }
  EXPECT_EQ(midiInClose(in), MMSYSERR_NOERROR);
  EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
  EXPECT_EQ(events.of(MIM_CLOSE).size(), 1u);
  EXPECT_EQ(events.of(MOM_CLOSE).size(), 1u);
}

// A callback under way when the application closes the input (here held until the close has
// returned, as RtMidi's callback waits for the mutex its close holds): the close does not wait
// for it, and MIM_CLOSE comes only after it, as the last callback of the port.
struct HeldEvents : Events {
  HANDLE entered = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ~HeldEvents() {
    CloseHandle(entered);
    CloseHandle(release);
  }
};
constexpr UINT kReturned = 0xFFFF;  // recorded when the held callback returns

void CALLBACK onHeldEvent(HANDLE, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR) {
  auto* events = reinterpret_cast<HeldEvents*>(instance);
  events->add(message, param1);
  if (message != MIM_LONGDATA) return;
  SetEvent(events->entered);
  WaitForSingleObject(events->release, 5000);
  events->add(kReturned, 0);
}

TEST(WinmmDriver, CloseCallbackComesLastEvenWhenACallbackIsUnderWay) {
  HeldEvents events;
  HMIDIIN in = nullptr;
  HMIDIOUT out = nullptr;
  ASSERT_EQ(midiInOpen(&in, 0, reinterpret_cast<DWORD_PTR>(&onHeldEvent),
                       reinterpret_cast<DWORD_PTR>(&events), CALLBACK_FUNCTION),
            MMSYSERR_NOERROR);
  ASSERT_EQ(midiOutOpen(&out, 0, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  std::array<char, 128> data{};
  MIDIHDR buffer{};
  buffer.lpData = data.data();
  buffer.dwBufferLength = data.size();
  ASSERT_EQ(midiInPrepareHeader(in, &buffer, sizeof buffer), MMSYSERR_NOERROR);
  ASSERT_EQ(midiInAddBuffer(in, &buffer, sizeof buffer), MMSYSERR_NOERROR);
  ASSERT_EQ(midiInStart(in), MMSYSERR_NOERROR);
  char request[] = {'\xf0', 0x00, 0x04, 0x00, '\xf7'};
  MIDIHDR h{};
  h.lpData = request;
  h.dwBufferLength = sizeof request;
  ASSERT_EQ(midiOutPrepareHeader(out, &h, sizeof h), MMSYSERR_NOERROR);
  ASSERT_EQ(midiOutLongMsg(out, &h, sizeof h), MMSYSERR_NOERROR);
  ASSERT_EQ(WaitForSingleObject(events.entered, 3000), WAIT_OBJECT_0);

  EXPECT_EQ(midiInReset(in), MMSYSERR_NOERROR);
  EXPECT_EQ(midiInUnprepareHeader(in, &buffer, sizeof buffer), MMSYSERR_NOERROR);
  EXPECT_EQ(midiInClose(in), MMSYSERR_NOERROR);
  EXPECT_TRUE(events.of(MIM_CLOSE).empty()) << "MIM_CLOSE while a callback is under way";
  SetEvent(events.release);
  events.await(MIM_CLOSE, 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  std::vector<UINT> order;
  {
    std::lock_guard<std::mutex> lock(events.mutex);
    for (const Event& e : events.list) order.push_back(e.message);
  }
  EXPECT_EQ(order, (std::vector<UINT>{MIM_OPEN, MIM_LONGDATA, kReturned, MIM_CLOSE}));
  midiOutUnprepareHeader(out, &h, sizeof h);
  midiOutClose(out);
}

}  // namespace
