// RtMidi API selection, device tag matching and exception-free wrappers (see midi_port.h).
// RtMidi reports errors either through a registered callback or by throwing RtMidiError;
// every call here catches, so callers deal only in plain results. What watches the MIDI service
// itself is per system: midi_service_linux.cpp (ALSA, JACK), midi_service_win32.cpp (WinMM).
#include "device/midi_port.h"

#include <array>
#include <cstdlib>
#include <string_view>

#include "state/steady_wait.h"

namespace orq {

int deviceTagKind(const std::string& portName) {
  if (portName.size() < 3) return -1;
  struct Tag {
    std::string_view text;
    int kind;
  };
  static constexpr std::array<Tag, 4> kTags{{{"OR-", 0}, {"KTA", 0}, {"KTB", 1}, {"KTC", 2}}};
  for (const Tag& tag : kTags) {
    if (portName.find(tag.text) != std::string::npos) return tag.kind;
  }
  return -1;
}

std::vector<RtMidi::Api> midiApiOrder(const char* forced, bool haveAlsaSequencer) {
  std::vector<RtMidi::Api> compiled;
  RtMidi::getCompiledApi(compiled);
  auto has = [&](RtMidi::Api api) {
    for (RtMidi::Api a : compiled)
      if (a == api) return true;
    return false;
  };
  std::vector<RtMidi::Api> order;
  const std::string_view want = forced ? forced : "";
  if (want == "alsa" || want == "jack") {
    const RtMidi::Api api = want == "alsa" ? RtMidi::LINUX_ALSA : RtMidi::UNIX_JACK;
    if (has(api)) order.push_back(api);
    return order;
  }
  // ALSA first: where the sequencer exists it is what other programs and devices use.
  if (haveAlsaSequencer && has(RtMidi::LINUX_ALSA)) order.push_back(RtMidi::LINUX_ALSA);
  if (has(RtMidi::UNIX_JACK)) order.push_back(RtMidi::UNIX_JACK);
  // Other platforms' APIs (never the dummy one) after those.
  for (RtMidi::Api api : compiled)
    if (api != RtMidi::LINUX_ALSA && api != RtMidi::UNIX_JACK && api != RtMidi::RTMIDI_DUMMY)
      order.push_back(api);
  return order;
}

MidiPair createMidiPair(const std::string& inClient, const std::string& outClient,
                        unsigned int queueLimit, ServiceWatch::OnLost onLost, void* arg) {
  for (RtMidi::Api api : midiApiOrder(std::getenv("ORQ_MIDI_API"), alsaSequencerPresent())) {
    MidiPair pair;
    try {
      // The watch goes first: without a running server RtMidi's constructors still succeed,
      // print "JACK server not running?" and leave objects that try again on every call.
      pair.watch = std::make_unique<ServiceWatch>(api, outClient + " watch", onLost, arg);
      if (!pair.watch->connected()) continue;
      pair.inbox = std::make_unique<MidiInbox>(queueLimit);
      pair.in = std::make_unique<RtMidiIn>(api, inClient, queueLimit);
      pair.out = std::make_unique<RtMidiOut>(api, outClient);
      pair.inbox->attach(*pair.in);
      pair.api = api;
      return pair;
    } catch (const RtMidiError&) {
      // The ALSA backend throws where /dev/snd/seq is missing; try the next API.
    } catch (const std::exception&) {
    }
  }
  return {};
}

unsigned int safePortCount(RtMidi& port) {
  try {
    return port.getPortCount();
  } catch (const std::exception&) {
    return 0;
  }
}

std::string safePortName(RtMidi& port, unsigned int index) {
  try {
    return port.getPortName(index);
  } catch (const std::exception&) {
    return {};
  }
}

bool safeIsOpen(const RtMidi* port) {
  if (!port) return false;
  try {
    return port->isPortOpen();
  } catch (const std::exception&) {
    return false;
  }
}

// A change of the service's port list, as the service (JACK) or the window's host (Windows)
// tells of it.
void ServiceWatch::onPortsChanged(void* self) {
  auto* watch = static_cast<ServiceWatch*>(self);
  ++watch->portChanges_;
  if (Doorbell* bell = watch->bell_.load()) bell->ring();
}

// On JACK the ports go with their clients, which are out of the graph first (see
// detachJackPort).
void MidiPair::release() {
  if (api == RtMidi::UNIX_JACK && !serviceLost()) {
    if (out) detachJackPort(*out);
    if (in) detachJackPort(*in);
  }
  out.reset();
  in.reset();
  inbox.reset();
  watch.reset();
}

void safeClose(RtMidi* port) {
  if (!port) return;
  try {
    port->closePort();
  } catch (const std::exception&) {
  }
}

bool safeOpen(RtMidi& port, unsigned int index, const std::string& localName) {
  try {
    port.openPort(index, localName);
  } catch (const std::exception&) {
    return false;
  }
  return safeIsOpen(&port);
}

bool safeSend(RtMidiOut* out, const uint8_t* message, size_t length) {
  if (!out || length == 0) return false;
  try {
    out->sendMessage(message, length);
  } catch (const std::exception&) {
    return false;
  }
  return true;
}

void MidiInbox::attach(RtMidiIn& in) {
  in.setCallback(&MidiInbox::onMessage, this);
}

void MidiInbox::onMessage(double, std::vector<unsigned char>* message, void* self) {
  if (message) static_cast<MidiInbox*>(self)->push(*message);
}

void MidiInbox::push(const std::vector<unsigned char>& message) {
  if (message.empty()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (messages_.size() >= limit_) return;
    messages_.push_back(message);
  }
  arrived_.notify_one();
  if (Doorbell* bell = bell_.load()) bell->ring();
}

bool MidiInbox::take(std::vector<unsigned char>& message) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (messages_.empty()) {
    message.clear();
    return false;
  }
  message.swap(messages_.front());
  messages_.pop_front();
  return true;
}

bool MidiInbox::waitForMessage(std::chrono::steady_clock::time_point until) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return waitUntil(arrived_, lock, until, [this] { return !messages_.empty(); });
}

size_t MidiInbox::size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return messages_.size();
}

}  // namespace orq
