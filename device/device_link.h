// The small object through which start-up, the device worker and the MIDI library's error
// callback reach the ports, the editor state, the worker thread and its stop flag.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <thread>
#include <vector>

#include "state/shared_word.h"

class RtMidiIn;
class RtMidiOut;

namespace orq {

class EditorState;
class LinkHost;
class MidiInbox;

struct DeviceLink {
  Shared<int32_t> lastReply{0};      // worker; code of the last recognised reply
  Shared<uint8_t> rereadPending{0};  // worker; run the connect sequence on the next pass
  RtMidiIn* midiIn = nullptr;        // owned by the worker
  RtMidiOut* midiOut = nullptr;      // owned by the worker
  MidiInbox* midiInbox = nullptr;    // owned by the worker; what midiIn received, in order
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

// The worker's thread body (link_worker.cpp). Creates and owns the two port objects, dropping
// them when the MIDI service goes and creating them again when it returns; ends within a few
// milliseconds of stopRequested being set (every pause and wait watches it), unless a MIDI
// library call blocks.
void runWorker(DeviceLink* link);

// --- Worker-thread primitives (link_io.cpp): every device operation is built from these.

// Outcome of waiting for a reply: it arrived, the budget ran out, or it was interrupted (a stop
// request, or the MIDI service went away): the caller then returns at once without touching any
// shared field, and the thread body takes over.
enum class WaitResult { Arrived, TimedOut, Stopped };

// Sleeps until now + interval (saturating), waking early when stopRequested or serviceLost is
// set. Returns false when it ended early because of either.
bool pauseFor(DeviceLink& link, std::chrono::milliseconds interval);
bool outputOpen(DeviceLink& link);
// Sends one complete message when the output port is open and the message is not empty.
// Returns whether it was handed to the port.
bool sendToDevice(DeviceLink& link, const uint8_t* message, size_t length);
bool sendToDevice(DeviceLink& link, const std::vector<uint8_t>& message);
// Takes at most one message from the input queue and applies it to the editor state.
void pollReply(DeviceLink& link);
// How long a reply is waited for.
inline constexpr std::chrono::milliseconds kReplyBudget{1000};
// Waits up to kReplyBudget for the reply `code`, taking one message at a time: as soon as one
// arrives, and at least every 5 ms. The caller has cleared lastReply before sending.
WaitResult waitForReply(DeviceLink& link, int32_t code);
// A reply timed out or a transfer failed: linkState 3, repaint, failureCount + 1.
void markFailure(DeviceLink& link);
bool stopping(const DeviceLink& link);
// stopping, or the MIDI service gone: what the worker is doing is abandoned.
bool interrupted(const DeviceLink& link);
// Asks the window for one repaint (any thread; coalesces). Nothing happens without a host.
void requestRepaint(DeviceLink& link);

// One request that awaits a reply: lastReply cleared, the message sent, the reply waited for.
// A request that could not be sent (port closed, or the builder refused it) is not waited for
// and changes nothing.
enum class Request { NotSent, Arrived, TimedOut, Stopped };
Request ask(DeviceLink& link, const std::vector<uint8_t>& message, int32_t reply);
// The usual bookkeeping of a request's outcome: a timeout is a failure, an answer clears
// failureCount. Returns `r`.
Request countOutcome(DeviceLink& link, Request r);
// ask, then countOutcome.
Request askCounted(DeviceLink& link, const std::vector<uint8_t>& message, int32_t reply);

}  // namespace orq
