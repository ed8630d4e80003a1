// The MIDI service under RtMidi on Linux: whether an ALSA sequencer exists, and a watch that
// notices a JACK server going away (see ServiceWatch in midi_port.h).
#include <jack/jack.h>
#include <jack/ringbuffer.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "device/midi_port.h"

namespace orq {

bool alsaSequencerPresent() {
  return ::access("/dev/snd/seq", F_OK) == 0;
}

namespace {

void quietJack(const char*) {}

// RtMidi keeps its JACK client and port to itself. Its protected members are named here through
// derived classes, as C++ allows for pointers to members; the classes are never instantiated.
struct RtMidiAccess : RtMidi {
  static MidiApi* api(RtMidi& midi) { return midi.*(&RtMidiAccess::rtapi_); }
};
struct MidiApiAccess : MidiApi {
  static void* data(MidiApi& api) { return api.*(&MidiApiAccess::apiData_); }
};

// How RtMidi 5.0 begins the state of its JACK objects (the input has no ring buffer).
struct JackState {
  jack_client_t* client;
  jack_port_t* port;
  jack_ringbuffer_t* buffer;
};

JackState* jackState(RtMidi& midi) {
  static const bool knownLayout = RtMidi::getVersion().rfind("5.0.", 0) == 0;
  MidiApi* api = knownLayout ? RtMidiAccess::api(midi) : nullptr;
  if (!api || api->getCurrentApi() != RtMidi::UNIX_JACK) return nullptr;
  return static_cast<JackState*>(MidiApiAccess::data(*api));
}

}  // namespace

bool detachJackPort(RtMidi& midi) {
  JackState* state = jackState(midi);
  if (!state || !state->client) return false;
  // A port libjack does not know by that handle is not one to touch.
  if (state->port && !jack_port_name(state->port)) return false;
  if (state->port && dynamic_cast<RtMidiOut*>(&midi) && state->buffer) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
    while (jack_ringbuffer_read_space(state->buffer) > 0 &&
           std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  // The server answers once the cycle under way has ended, and libjack has stopped the
  // client's process thread by then: nothing drains the ring buffer RtMidi frees first. Without
  // the port handle RtMidi's destructor skips the unregistering and only closes the client,
  // which takes the port with it. A port closed already still leaves its client active: a
  // cycle that began before the close can be walking the ring buffer when it is freed.
  jack_deactivate(state->client);
  state->port = nullptr;
  return true;
}

ServiceWatch::ServiceWatch(RtMidi::Api api, const std::string& clientName, OnLost onLost, void* arg)
    : api_(api), onLost_(onLost), arg_(arg) {
  // libjack prints several lines to stderr for every client that cannot reach a server; a
  // missing service is reported by the caller, once. Set before any RtMidi object of a pair
  // exists: the watch is made first.
  jack_set_error_function(&quietJack);
  jack_set_info_function(&quietJack);
  if (api != RtMidi::UNIX_JACK) {
    connected_ = api != RtMidi::LINUX_ALSA || alsaSequencerPresent();
    return;
  }
  jack_client_t* client = jack_client_open(clientName.c_str(), JackNoStartServer, nullptr);
  if (!client) return;
  jack_on_info_shutdown(
      client,
      [](jack_status_t code, const char* reason, void* self) {
        onShutdown(static_cast<int>(code), reason, self);
      },
      this);
  // Port list changes are told only to activated clients. Without a process callback the watch
  // still takes no part in the server's cycles (measured: no CPU over 10 s at 128 frames), and
  // the worker no longer has to read the port list every 50 ms to notice an unplug: reading it
  // costs about 0.2 ms a time over JACK, which was most of the connected editor's idle cost.
  // The callbacks run on the watch's notification thread and only count.
  const bool told =
      jack_set_port_registration_callback(
          client, [](jack_port_id_t, int, void* self) { onPortsChanged(self); }, this) == 0 &&
      jack_set_port_rename_callback(
          client,
          [](jack_port_id_t, const char*, const char*, void* self) { onPortsChanged(self); },
          this) == 0 &&
      jack_set_client_registration_callback(
          client, [](const char*, int, void* self) { onPortsChanged(self); }, this) == 0;
  hearsPortChanges_ = told && jack_activate(client) == 0;
  jackClient_ = client;
  connected_ = true;
}

ServiceWatch::~ServiceWatch() {
  if (jackClient_) jack_client_close(static_cast<jack_client_t*>(jackClient_));
}

bool ServiceWatch::lost() const {
  if (api_ == RtMidi::LINUX_ALSA) return !alsaSequencerPresent();
  return lost_.load();
}

void ServiceWatch::onShutdown(int, const char*, void* self) {
  auto* watch = static_cast<ServiceWatch*>(self);
  if (watch->lost_.exchange(true)) return;
  if (watch->onLost_) watch->onLost_(watch->arg_);
}

}  // namespace orq
