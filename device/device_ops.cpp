// The device operations (see device_ops.h), built from the primitives of link_io.cpp.
//
// Sections: ports; requests; connect read; firmware.
#include "device/device_ops.h"

#include "device/device_state.h"
#include "device/firmware.h"
#include "state/editor_state.h"

namespace orq {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

constexpr milliseconds kAfterSend{5};
constexpr milliseconds kAfterFirmware{100};
constexpr milliseconds kFirmwareRestart{2000};
constexpr milliseconds kRestartPoll{200};
constexpr unsigned int kQueueLimit = 100;
// Library errors close both ports; the next discovery opens them again. The closing is left to
// the next poll even on the link's own thread: the callback runs inside the RtMidi call that met
// the error, and a port closed under openPort (its device vanished between the enumeration and
// the connect) stays marked open in RtMidi 5.0 with no JACK port behind it, for good.
void onMidiError(RtMidiError::Type, const std::string&, void* userData) {
  auto* link = static_cast<DeviceLink*>(userData);
  if (!link) return;
  link->portFault = 1;
  wakeWorker(*link);
}

// On a libjack thread, when the server goes: every pause and reply wait on the link ends at
// once, and the owner of the ports drops them.
void onServiceLost(void* userData) {
  auto* link = static_cast<DeviceLink*>(userData);
  link->serviceLost = 1;
  wakeWorker(*link);
}

}  // namespace

// ---------------------------------------------------------------- ports

bool openLinkPorts(DeviceLink& link, const std::string& inClient, const std::string& outClient) {
  link.ports = createMidiPair(inClient, outClient, kQueueLimit, &onServiceLost, &link);
  MidiPair& ports = link.ports;
  if (!ports) return false;
  for (RtMidi* port :
       {static_cast<RtMidi*>(ports.in.get()), static_cast<RtMidi*>(ports.out.get())}) {
    try {
      port->setErrorCallback(&onMidiError, &link);
    } catch (const std::exception&) {
    }
  }
  link.midiIn = ports.in.get();
  link.midiOut = ports.out.get();
  link.midiInbox = ports.inbox.get();
  if (link.state) {
    ports.inbox->setBell(&link.state->workerBell);
    ports.watch->setBell(&link.state->workerBell);
  }
  return true;
}

void dropLinkPorts(DeviceLink& link) {
  closePorts(link);
  link.midiIn = nullptr;
  link.midiOut = nullptr;
  link.midiInbox = nullptr;
  // Moved out and destroyed whole, so in reverse order: output first, watch last. Assigning an
  // empty pair would free the inbox while the input could still deliver to it.
  { MidiPair gone = std::move(link.ports); }
  link.portFault = 0;
  link.serviceLost = 0;  // the watch is gone, so nothing sets it again
}

// ---------------------------------------------------------------- requests

Request identify(DeviceLink& link) {
  return askCounted(link, buildIdentify(), kVersion);
}

Request requestSettings(DeviceLink& link, int32_t program) {
  const Clock::time_point start = Clock::now();
  const Request r = ask(link, buildReadSettings(program), kSettingsDump);
  // Someone else's dump: keep waiting for ours, within about one budget more. A device that
  // answers with another program's dump (its current one, say) has answered all the same: if
  // ours does not come, the request is not a failure.
  while (r == Request::Arrived && link.lastDumpProgram.get() != program &&
         Clock::now() - start < kReplyBudget) {
    link.lastReply = 0;
    const WaitResult w = waitForReply(link, kSettingsDump);
    if (w == WaitResult::Stopped) return Request::Stopped;
    if (w == WaitResult::TimedOut) break;
  }
  return countOutcome(link, r);
}

Send sendSettings(DeviceLink& link, int32_t program) {
  return sendSettings(link, settingsOf(*link.state, program));
}

Send sendSettings(DeviceLink& link, const ProgramSettings& settings) {
  if (!sendToDevice(link, buildWriteSettings(settings))) return Send::NotSent;
  return pauseFor(link, kAfterSend) ? Send::Sent : Send::Stopped;
}

bool sendStore(DeviceLink& link) {
  if (!outputOpen(link)) return true;
  sendToDevice(link, buildStore());
  return pauseFor(link, kAfterSend);
}

bool sendReset(DeviceLink& link) {
  sendToDevice(link, buildReset());
  return pauseFor(link, kAfterSend);
}

Request readSlotNames(DeviceLink& link) {
  int arrived = 0;
  for (int slot = 0; slot < kSlotCount; ++slot) {
    const Request r = ask(link, buildReadSlotName(slot), kSlotName);
    if (r == Request::Stopped) return r;
    if (r == Request::TimedOut) {
      markFailure(link);
      return r;
    }
    if (r == Request::Arrived) ++arrived;
  }
  if (arrived < kSlotCount) return Request::NotSent;
  link.failureCount = 0;
  return Request::Arrived;
}

// ---------------------------------------------------------------- connect read

Sequence connectSequence(DeviceLink& link, const std::function<Sequence()>& afterVersion) {
  EditorState& state = *link.state;
  link.rereadPending = 0;
  state.linkState = kBusy;
  requestRepaint(link);
  state.statusCode = kStatusReading;

  bool versionKnown = false;
  if (outputOpen(link)) {
    const Request r = identify(link);
    if (r == Request::Stopped) return Sequence::Stopped;
    versionKnown = r == Request::Arrived && link.versionStated.get();
  }

  // Only a version stated in this sequence says what the device runs now; with none (no answer,
  // or a VERSION too short to hold one) nothing is decided on the version.
  if (versionKnown && afterVersion) {
    const Sequence s = afterVersion();
    if (s != Sequence::Completed) return s;
  }

  if (requestSettings(link, state.program.get()) == Request::Stopped) return Sequence::Stopped;
  if (outputOpen(link) && readSlotNames(link) == Request::Stopped) return Sequence::Stopped;

  state.statusCode = kStatusIdle;
  if (state.linkState.get() != kError) state.linkState = kConnected;
  requestRepaint(link);
  return Sequence::Completed;
}

// ---------------------------------------------------------------- firmware

TransferResult flashFirmware(DeviceLink& link) {
  const TransferResult r = transferFirmware(link);
  if (r == TransferResult::Stopped) return r;
  if (r == TransferResult::Failed) link.failureCount = 3;  // the worker's next pass recovers
  if (!pauseFor(link, kAfterFirmware) || !sendReset(link)) return TransferResult::Stopped;
  if (r == TransferResult::Committed && !pauseFor(link, kFirmwareRestart))
    return TransferResult::Stopped;
  return r;
}

void restartAfterFlash(DeviceLink& link) {
  EditorState& state = *link.state;
  const int32_t kind = state.modelKind.get();
  closePorts(link);
  state.resetDeviceFields();
  state.modelKind = kind;
  link.rereadPending = 1;
  requestRepaint(link);
}

Request awaitRestartedDevice(DeviceLink& link, const std::string& portName, milliseconds budget) {
  const Clock::time_point deadline = Clock::now() + budget;
  for (;;) {
    closePorts(link);
    if (findAndOpenDevice(link, nullptr, portName) && pauseFor(link, kRestartPoll)) {
      const Request r = identify(link);
      if (r == Request::Arrived || r == Request::Stopped) return r;
    }
    if (interrupted(link)) return Request::Stopped;
    if (Clock::now() >= deadline) return Request::TimedOut;
    pauseFor(link, kRestartPoll);
  }
}

}  // namespace orq
