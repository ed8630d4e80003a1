// The MIDI service under RtMidi on Linux: whether an ALSA sequencer exists, and a watch that
// notices a JACK server going away (see ServiceWatch in midi_port.h).
#include <jack/jack.h>
#include <unistd.h>

#include "device/midi_port.h"

namespace orq {

bool alsaSequencerPresent() {
  return ::access("/dev/snd/seq", F_OK) == 0;
}

namespace {
void quietJack(const char*) {}
}  // namespace

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
  // Not activated: the watch takes no part in the server's cycles, it only hears the shutdown.
  jack_on_info_shutdown(
      client,
      [](jack_status_t code, const char* reason, void* self) {
        onShutdown(static_cast<int>(code), reason, self);
      },
      this);
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
