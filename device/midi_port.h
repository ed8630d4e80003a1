// The MIDI layer under the device worker and the device simulator: picks a working RtMidi API
// (ALSA sequencer where it exists, JACK otherwise), recognises device ports by name tag, and
// wraps the RtMidi calls that may throw so that library errors never escape as exceptions.
#pragma once

#include <rtmidi/RtMidi.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

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

// The input queue between the library's thread and the one reader. RtMidi's own queue (5.0) is
// a ring of plain, non-atomic indices written and read from two threads; this one is locked.
// Like RtMidi's, it keeps at most `limit` messages and drops newer ones while full.
class MidiInbox {
 public:
  explicit MidiInbox(size_t limit) : limit_(limit) {}
  // Routes the port's messages here (replaces RtMidi's queue).
  void attach(RtMidiIn& in);
  // Takes the oldest message; false when there is none.
  bool take(std::vector<unsigned char>& message);
  size_t size() const;
  // Blocks until a message is waiting or `until` passes; true when one is waiting.
  bool waitForMessage(std::chrono::steady_clock::time_point until) const;

 private:
  static void onMessage(double stamp, std::vector<unsigned char>* message, void* self);
  const size_t limit_;
  mutable std::mutex mutex_;
  mutable std::condition_variable arrived_;
  std::deque<std::vector<unsigned char>> messages_;  // guarded by mutex_
};

// One input and one output object on the same API, the input's messages going to `inbox`.
struct MidiPair {
  std::unique_ptr<MidiInbox> inbox;  // declared first: outlives the input that feeds it
  std::unique_ptr<RtMidiIn> in;
  std::unique_ptr<RtMidiOut> out;
  RtMidi::Api api = RtMidi::UNSPECIFIED;
};

// Creates both objects on the first API of midiApiOrder(ORQ_MIDI_API, ...) whose two
// constructors succeed, with an inbox of `queueLimit` messages attached to the input. Returns
// an empty pair when no API works.
MidiPair createMidiPair(const std::string& inClient, const std::string& outClient,
                        unsigned int queueLimit);

// Calls that never throw. On an RtMidi error they behave as if nothing was there.
unsigned int safePortCount(RtMidi& port);
std::string safePortName(RtMidi& port, unsigned int index);
bool safeIsOpen(const RtMidi* port);
void safeClose(RtMidi* port);
bool safeOpen(RtMidi& port, unsigned int index, const std::string& localName);
bool safeSend(RtMidiOut* out, const uint8_t* message, size_t length);

}  // namespace orq
