// The MIDI layer under the device worker and the device simulator: picks a working RtMidi API
// (ALSA sequencer where it exists, JACK otherwise), recognises device ports by name tag, and
// wraps the RtMidi calls that may throw so that library errors never escape as exceptions.
//
// It is also where the faults of RtMidi 5.0 and libjack 1.9.21 under us are worked around, the
// whole list here; the code of each is in midi_port.cpp unless named otherwise:
//  1. RtMidi throws, or calls an error callback from inside the failing call: the safe* calls
//     catch, and the link's error callback only marks the fault (device_ops.cpp, onMidiError),
//     because a port closed inside openPort stays marked open for good.
//  2. RtMidi's input queue is a ring of plain indices written and read from two threads:
//     MidiInbox replaces it with a locked one.
//  3. RtMidi ignores sysex until told otherwise (ignoreTypes, port_discovery.cpp).
//  4. A JACK client of RtMidi outlives its server and goes on listing the dead server's ports,
//     and without a server its constructors still succeed and print: ServiceWatch
//     (midi_service_linux.cpp) watches the server with a client of its own, and createMidiPair
//     makes it first and tries no further on that API when it cannot connect.
//  5. libjack prints several lines for every client that cannot reach a server: its messages are
//     silenced before the first watch connects (midi_service_linux.cpp).
//  6. RtMidi's JACK output frees its ring buffer before it closes its client, and libjack
//     unregisters a port while its notification thread may walk the port list: detachJackPort
//     (midi_service_linux.cpp; nothing to do on Windows) takes the client out of the graph
//     first, and MidiPair::release calls it before destroying the objects.
//  7. After a JACK server died, libjack frees every client still allocated when a new one opens:
//     MidiPair's watch is destroyed last, so every client of a pair is closed by then.
//  8. JACK lists this program's own ports, so an index can move between the listing and the
//     open: ports are opened by name (openNamed, port_discovery.cpp).
//  9. A JACK connection takes effect a cycle later; a message sent before is lost: the link
//     waits kConnectSettle after opening (port_discovery.cpp).
#pragma once

#include <rtmidi/RtMidi.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "state/doorbell.h"

namespace orq {

// Model kind of a port name: 0 for "OR-" or "KTA", 1 for "KTB", 2 for "KTC" (tested in that
// order, case-sensitive, anywhere in the name); -1 when the name has none or is shorter than 3.
int deviceTagKind(const std::string& portName);

// The APIs to try, in order: ALSA then JACK among the compiled ones. `forced` is the value of
// ORQ_MIDI_API ("alsa" or "jack"; null or empty: no preference); a forced API that is not
// compiled in gives an empty list. Without an ALSA sequencer device ALSA is left out unless
// forced (its client cannot be created, and trying prints errors on stderr).
std::vector<RtMidi::Api> midiApiOrder(const char* forced, bool haveAlsaSequencer);
bool alsaSequencerPresent();  // /dev/snd/seq exists

// Takes the client of a JACK RtMidi object that is about to be destroyed out of the server's
// graph, after an output has had up to 100 ms to send what it queued, and leaves the port to go
// with the client. Returns false where that does not apply (another API, no port open). Two
// faults under us make this necessary: RtMidi 5.0's output frees the ring buffer its process
// callback drains before it closes the client, and libjack 1.9.21 removes an unregistered port
// from the client's port list while the client's notification thread may be walking that list
// for a latency update, which any change of the graph sends (another client closing, a device
// leaving), and then crashes on the freed node. A closing client takes its ports without
// touching that list.
bool detachJackPort(RtMidi& port);

// The input queue between the library's thread and the one reader. RtMidi's own queue (5.0) is
// a ring of plain, non-atomic indices written and read from two threads; this one is locked.
// Like RtMidi's, it keeps at most `limit` messages and drops newer ones while full.
class MidiInbox {
 public:
  explicit MidiInbox(size_t limit) : limit_(limit) {}
  // Routes the port's messages here (replaces RtMidi's queue).
  void attach(RtMidiIn& in);
  // Rings `bell` (which must outlive the inbox) for every message taken in; null: none.
  void setBell(Doorbell* bell) { bell_.store(bell); }
  // What the port's callback does with each message (any thread): appends it unless the inbox
  // is full or the message is empty.
  void push(const std::vector<unsigned char>& message);
  // Takes the oldest message; false when there is none.
  bool take(std::vector<unsigned char>& message);
  size_t size() const;
  // Blocks until a message is waiting or `until` passes; true when one is waiting.
  bool waitForMessage(std::chrono::steady_clock::time_point until) const;

 private:
  static void onMessage(double stamp, std::vector<unsigned char>* message, void* self);
  const size_t limit_;
  std::atomic<Doorbell*> bell_{nullptr};
  mutable std::mutex mutex_;
  mutable std::condition_variable arrived_;
  std::deque<std::vector<unsigned char>> messages_;  // guarded by mutex_
};

// Tells whether the MIDI service under a pair of port objects is still there. RtMidi keeps a
// JACK client whose server has died and goes on listing the ports the server had (libjack reads
// them from shared memory), so a lost server is not visible through the ports themselves.
//   JACK: a client of its own that takes no part in processing; the server's shutdown notice
//     marks it lost and calls `onLost` once, on a libjack thread.
//   ALSA: the sequencer device exists (looked at on each call of lost()).
class ServiceWatch {
 public:
  using OnLost = void (*)(void* arg);
  // Connects to the service of `api`; connected() says whether that worked. Never starts a JACK
  // server.
  ServiceWatch(RtMidi::Api api, const std::string& clientName, OnLost onLost, void* arg);
  ~ServiceWatch();
  ServiceWatch(const ServiceWatch&) = delete;
  ServiceWatch& operator=(const ServiceWatch&) = delete;

  bool connected() const { return connected_; }
  bool lost() const;

  // Whether the watch hears of every change of the service's port list (JACK: it is told of
  // each port registered, unregistered or renamed by any client), so that the list need only be
  // read again after a change. Where it does not (ALSA; WinMM in a program without a window),
  // the list must be polled.
  bool hearsPortChanges() const { return hearsPortChanges_; }
  // How many such changes it has heard of; compare two readings.
  uint32_t portChanges() const { return portChanges_.load(); }
  // Rings `bell` (which must outlive the watch) at each change heard of; null: none.
  void setBell(Doorbell* bell) { bell_.store(bell); }

#ifdef _WIN32
  // WinMM tells nothing of its port list. A program with a window hears of device changes
  // (WM_DEVICECHANGE) and passes each on here, from any thread: every watch counts it as a port
  // list change and rings its bell. The watches made after its window has declared
  // hostTellsPortChanges() hear port changes.
  static void hostTellsPortChanges();
  static void portsChangedOnHost();
#endif

 private:
  static void onShutdown(int code, const char* reason, void* self);
  static void onPortsChanged(void* self);
  const RtMidi::Api api_;
  void* jackClient_ = nullptr;  // jack_client_t*
  bool connected_ = false;
  bool hearsPortChanges_ = false;
  const OnLost onLost_;
  void* const arg_;
  std::atomic<bool> lost_{false};
  std::atomic<uint32_t> portChanges_{0};
  std::atomic<Doorbell*> bell_{nullptr};
};

// One input and one output object on the same API, the input's messages going to `inbox`.
// Destroying a pair whose JACK server has died takes about a second (RtMidi's output waits that
// long for a process cycle that never comes); with a live server it takes milliseconds.
struct MidiPair {
  MidiPair() = default;
  MidiPair(MidiPair&&) = default;
  MidiPair& operator=(MidiPair&& other) {
    release();
    watch = std::move(other.watch);
    inbox = std::move(other.inbox);
    in = std::move(other.in);
    out = std::move(other.out);
    api = other.api;
    return *this;
  }
  ~MidiPair() { release(); }

  // Declared first, so destroyed last: the JACK clients of a process must all be closed before
  // a new one is opened after the server died, since libjack then frees any still allocated.
  std::unique_ptr<ServiceWatch> watch;
  std::unique_ptr<MidiInbox> inbox;  // outlives the input that feeds it
  std::unique_ptr<RtMidiIn> in;
  std::unique_ptr<RtMidiOut> out;
  RtMidi::Api api = RtMidi::UNSPECIFIED;

  explicit operator bool() const { return in && out; }
  bool serviceLost() const { return watch && watch->lost(); }
  // Destroys the objects, on JACK with their clients out of the graph first (see
  // detachJackPort); the pair is empty afterwards.
  void release();
};

// Creates both objects on the first API of midiApiOrder(ORQ_MIDI_API, ...) whose service is
// running and whose two constructors succeed, with an inbox of `queueLimit` messages attached to
// the input and a ServiceWatch that calls `onLost(arg)` when the service goes. Returns an empty
// pair when no API works; it then leaves nothing on stderr and starts no server.
MidiPair createMidiPair(const std::string& inClient, const std::string& outClient,
                        unsigned int queueLimit, ServiceWatch::OnLost onLost = nullptr,
                        void* arg = nullptr);

// Calls that never throw. On an RtMidi error they behave as if nothing was there.
unsigned int safePortCount(RtMidi& port);
std::string safePortName(RtMidi& port, unsigned int index);
bool safeIsOpen(const RtMidi* port);
void safeClose(RtMidi* port);
bool safeOpen(RtMidi& port, unsigned int index, const std::string& localName);
bool safeSend(RtMidiOut* out, const uint8_t* message, size_t length);

}  // namespace orq
