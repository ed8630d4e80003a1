// The MIDI service under RtMidi on Windows. WinMM is part of the system: there is no sequencer
// device to look for and no server that can stop, so the watch is always connected and never
// lost. A device that is unplugged disappears from the port list, which the worker reads on
// every pass.
#include "device/midi_port.h"

namespace orq {

bool alsaSequencerPresent() {
  return false;
}

bool detachJackPort(RtMidi&) {
  return false;
}

ServiceWatch::ServiceWatch(RtMidi::Api api, const std::string&, OnLost onLost, void* arg)
    : api_(api), connected_(true), onLost_(onLost), arg_(arg) {}

ServiceWatch::~ServiceWatch() = default;

bool ServiceWatch::lost() const {
  return false;
}

}  // namespace orq
