// The MIDI service under RtMidi on Windows. WinMM is part of the system: there is no sequencer
// device to look for and no server that can stop, so the watch is always connected and never
// lost. A device plugged in or unplugged shows in the port list. WinMM tells of no change of it;
// the window's host passes Windows' device notices on (portsChangedOnHost), and where it does,
// the worker reads the list on each notice and once a second besides, elsewhere on every pass.
#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

#include "device/midi_port.h"

namespace orq {

namespace {
std::atomic<bool> gHostTells{false};
std::mutex gWatchesMutex;
std::vector<ServiceWatch*> gWatches;  // guarded by gWatchesMutex: the watches alive
}  // namespace

bool alsaSequencerPresent() {
  return false;
}

bool detachJackPort(RtMidi&) {
  return false;
}

ServiceWatch::ServiceWatch(RtMidi::Api api, const std::string&, OnLost onLost, void* arg)
    : api_(api),
      connected_(true),
      hearsPortChanges_(gHostTells.load()),
      onLost_(onLost),
      arg_(arg) {
  std::lock_guard<std::mutex> lock(gWatchesMutex);
  gWatches.push_back(this);
}

ServiceWatch::~ServiceWatch() {
  std::lock_guard<std::mutex> lock(gWatchesMutex);
  gWatches.erase(std::find(gWatches.begin(), gWatches.end(), this));
}

bool ServiceWatch::lost() const {
  return false;
}

void ServiceWatch::hostTellsPortChanges() {
  gHostTells = true;
}

void ServiceWatch::portsChangedOnHost() {
  std::lock_guard<std::mutex> lock(gWatchesMutex);
  for (ServiceWatch* watch : gWatches) onPortsChanged(watch);
}

}  // namespace orq
