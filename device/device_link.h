// The small object through which start-up, the device worker and the MIDI library's error
// callback reach the ports, the editor state, the worker thread and its stop flag. What runs
// over it is in link_io.h (the primitives), device_ops.h (the operations) and ir_transfer.h.
#pragma once

#include <array>
#include <cstdint>
#include <thread>

#include "device/midi_port.h"
#include "device/protocol.h"
#include "state/shared_word.h"

namespace orq {

class EditorState;
class LinkHost;

struct DeviceLink {
  Shared<int32_t> lastReply{0};      // worker; code of the last recognised reply
  Shared<uint8_t> rereadPending{0};  // worker; run the connect sequence on the next pass
  // The port objects, made and destroyed by the one thread that uses them (openLinkPorts,
  // dropLinkPorts in device_ops.h); empty while there is no MIDI service.
  MidiPair ports;
  // What the primitives use: the objects of `ports` (or of a caller's own pair), null when none.
  RtMidiIn* midiIn = nullptr;
  RtMidiOut* midiOut = nullptr;
  MidiInbox* midiInbox = nullptr;    // what midiIn received, in order
  LinkHost* host = nullptr;          // set by start-up; null: no repaints, no dialogs
  EditorState* state = nullptr;      // set by start-up
  std::thread workerThread;          // start-up only
  Shared<uint8_t> stopRequested{0};  // start-up sets it at shutdown
  Shared<int32_t> failureCount{0};   // worker
  // Set by the MIDI library's error callback (any thread, inside a library call); the worker
  // closes both ports at its next poll or discovery, between library calls.
  Shared<uint8_t> portFault{0};
  // Set on a MIDI library thread when the service (the JACK server) goes away: the worker's
  // pauses and waits end at once, and its thread body drops and later re-creates the ports.
  Shared<uint8_t> serviceLost{0};
  // Worker; program of the last accepted SETTINGS_DUMP. Every client of the device (the editor
  // and orqctl side by side) hears the answers to the others' requests too, so a dump is not
  // always the one just asked for.
  Shared<int32_t> lastDumpProgram{-1};
  // Worker only; the settings words of that dump as the device sent them (the entries a short
  // dump leaves out as the block held them), before the editor's own rule for the nibble pairs
  // makes an odd pair 2 and 2: what the device holds, to compare with what was written to it.
  std::array<int32_t, kSettingsWords> lastDumpWords{};
  // Worker; whether the last VERSION stated both version bytes. A short one still answers
  // IDENTIFY, but what the device runs is then unknown and no update is decided on it.
  Shared<uint8_t> versionStated{0};

  static DeviceLink* current();
  static void setCurrent(DeviceLink* link);
};

// Asks the worker to end: sets stopRequested and wakes it from its idle wait (any thread).
void requestStop(DeviceLink& link);
// Wakes the worker from its idle wait (any thread); nothing without an editor state.
void wakeWorker(DeviceLink& link);

// The worker's thread body (link_worker.cpp). Creates the link's port objects, dropping them
// when the MIDI service goes and creating them again when it returns; ends within a few
// milliseconds of stopRequested being set (every pause and wait watches it), unless a MIDI
// library call blocks.
void runWorker(DeviceLink* link);

}  // namespace orq
