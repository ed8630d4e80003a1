// The device worker: finds the device by port-name tag, reads it whenever it appears or says it
// changed, carries out the panel's commands and reports through linkState and statusCode.
// Runs on its own thread, which alone touches the MIDI ports.
//
// Sections: firmware update; connect read and recovery; commands; the thread body.
// The device operations it calls (the connect read, settings, store, the flash and the restart
// after it) are in device_ops.cpp and ir_transfer.cpp, shared with orqctl; port discovery is in
// port_discovery.cpp, the primitives under them all in link_io.cpp.
#include <algorithm>
#include <cstdio>
#include <memory>

#include "device/device_link.h"
#include "device/device_ops.h"
#include "device/firmware.h"
#include "device/ir_transfer.h"
#include "device/librarian.h"
#include "device/link_host.h"
#include "device/midi_port.h"
#include "device/port_discovery.h"
#include "device/protocol.h"
#include "device/safety_backup.h"
#include "device/transfer.h"
#include "files/file_path.h"
#include "files/user_folders.h"
#include "state/editor_state.h"
#include "state/steady_wait.h"

namespace orq {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

constexpr milliseconds kPassPause{5};
constexpr milliseconds kStoreDisplay{500};
constexpr milliseconds kRecoveryPause{1000};
constexpr milliseconds kExportFailedDisplay{4000};
constexpr int kFailureLimit = 2;
// A pass follows the last after kPassPause while there is work in sight (a message waiting, a
// command); otherwise the worker sleeps until its doorbell rings (a message, a command, a change
// of the ports, a library error, the service going, a stop request) or the next port scan is due
// (port_discovery.cpp: every 50 ms, or once a second where the service tells of port changes).
// Waking 200 times a second for nothing was the whole of its idle cost (about 0.4 % of a core
// here, and far more under Wine, where every sleep goes through the Wine server); waking 20
// times a second still cost the connected Windows editor about 1 % under Wine. A read still to
// be made again or a failure to recover from keeps the pace of every 50 ms.
constexpr milliseconds kUnsettledPass{50};

// ---------------------------------------------------------------- firmware update

// What the worker remembers of the firmware update for the whole run.
struct FirmwareRun {
  // The image is fetched once per run, whatever comes of it: without a network every re-read of
  // the device would otherwise wait for the download to fail again.
  bool downloadPending = true;
  // And flashed at most once: a device that still reports an older version after its restart
  // (the flash did not take) must not be flashed again and again.
  bool flashed = false;
};

enum class Flash { NotNeeded, Done, Stopped };

// Runs once the device has told its version in this connect sequence. Done: the device was
// flashed (or the attempt failed) and restarts; the ports are closed so that the next pass looks
// for it afresh.
Flash updateFirmware(DeviceLink& link, FirmwareRun& run) {
  EditorState& state = *link.state;
  if (run.downloadPending) {
    run.downloadPending = false;
    const Download d = downloadFirmwareImage(link);
    if (d == Download::Stopped) return Flash::Stopped;
    const uint16_t stamp = firmwareStamp(firmwareImage());
    // An erased stamp is no version: left at 0, it neither flashes nor makes the panel warn.
    if (d == Download::Complete && firmwareIsNewer(stamp, 0)) state.imageFirmwareVersion = stamp;
  }
  if (run.flashed ||
      !firmwareIsNewer(state.imageFirmwareVersion.get(), state.deviceFirmwareVersion.get())) {
    return Flash::NotNeeded;
  }
  run.flashed = true;
  // The update may reset every program: what the device holds is kept first, and the image is
  // not sent unless it was.
  state.statusCode = kStatusReading;
  state.linkState = kBusy;
  requestRepaint(link);
  const SafetyBackup safety =
      makeSafetyBackup(link, safetyBackupFolder(), "firmware update", nullptr);
  if (safety.stopped) return Flash::Stopped;
  const std::string version = firmwareVersionText(state.imageFirmwareVersion.get());
  if (safety.path.empty()) {
    tellUser(link, "The firmware update to " + version + " did not start: the programs on the " +
                       "device could not be kept in a safety backup first (" + safety.error +
                       "). Nothing was sent.");
    state.statusCode = kStatusIdle;
    return Flash::NotNeeded;
  }
  const TransferResult flashed = flashFirmware(link);
  if (flashed == TransferResult::Stopped) return Flash::Stopped;
  restartAfterFlash(link);
  tellUser(link, std::string(flashed == TransferResult::Committed
                                 ? "The firmware was updated to " + version + "."
                                 : "The firmware update to " + version + " did not complete.") +
                     " The programs before it are in " + nativePath(fileName(safety.path)) + ".");
  return Flash::Done;
}

// ---------------------------------------------------------------- connect read and recovery

// The full read of the device, with the firmware update once it has told its version.
Sequence readDevice(DeviceLink& link, FirmwareRun& firmware) {
  return connectSequence(link, [&] {
    switch (updateFirmware(link, firmware)) {
      case Flash::NotNeeded:
        break;
      case Flash::Done:
        return Sequence::EndsPass;
      case Flash::Stopped:
        return Sequence::Stopped;
    }
    return Sequence::Completed;
  });
}

// Two or more failures in a row: reset the device and start over with closed ports.
void recover(DeviceLink& link) {
  link.state->linkState = kError;
  closePorts(link);
  findAndOpenDevice(link);
  if (!sendReset(link) || !pauseFor(link, kRecoveryPause)) return;
  closePorts(link);
  link.state->statusCode = kStatusIdle;
  link.failureCount = 0;
  link.rereadPending = 1;
}

// ---------------------------------------------------------------- commands

// What the worker keeps from one pass to the next.
struct WorkerState {
  FirmwareRun firmware;                 // the firmware update happens at most once per run
  PortScan scan;                        // the pace of port discovery
  Clock::time_point exportFailedUntil;  // "EXPORT FAILED" stays this long
};

// Command 10: the catalogue entry the user chose into the slot whose browser was open then.
void uploadFactoryIr(DeviceLink& link) {
  EditorState& state = *link.state;
  state.linkState = kBusy;
  requestRepaint(link);
  const int32_t slot = state.commandSlot;
  const int32_t entry = state.commandEntry;
  if (slot < 1 || slot > kSlotCount || entry < 0 || entry >= kCatalogueSize) {
    state.linkState = kConnected;  // no browser was open: nothing to send
    requestRepaint(link);
    return;
  }
  const auto wire = static_cast<uint8_t>(slot - 1);
  // The next pass reads the device again, which ends the busy state, so the panel is never left
  // locked while the device is there.
  finishUpload(link, uploadCatalogueEntry(link, entry, wire), wire, ReadAgain::WholeDevice);
  requestRepaint(link);
}

// A WAV file of the user's into user slot 0..5, once it is known (from the dialog, or dropped).
// A slot outside that range is refused as the empty path of a cancelled dialog is.
void importFile(DeviceLink& link, const std::wstring& path, int32_t slot) {
  const bool inRange = slot >= 0 && slot < kSlotCount;
  const auto wire = static_cast<uint8_t>(inRange ? slot : 0);
  finishUpload(link, importWav(link, inRange ? path : L"", wire), wire, ReadAgain::WholeDevice);
  requestRepaint(link);
}

// Commands 4..9: a WAV file chosen in the dialog into slot code - 4.
void importIntoSlot(DeviceLink& link, int32_t code) {
  EditorState& state = *link.state;
  state.linkState = kBusy;
  requestRepaint(link);
  const std::wstring path = link.host ? link.host->openFileDialog(kDialogWav) : L"";
  if (stopping(link)) return;
  importFile(link, path, code - kCommandImportFirst);
}

// Command 12: the file dropped on a slot row, with no dialog.
void importDroppedFile(DeviceLink& link) {
  EditorState& state = *link.state;
  state.linkState = kBusy;
  requestRepaint(link);
  int32_t slot = -1;
  const std::wstring path = state.takeDroppedFile(slot);
  importFile(link, path, slot);
}

// Command 11: every factory IR into a folder of the user's. The panel stays usable meanwhile.
void extractAllToChosenFolder(DeviceLink& link, WorkerState& w) {
  const std::wstring folder = link.host ? link.host->openFileDialog(kDialogFolder) : L"";
  if (stopping(link)) return;
  if (!extractAll(link, folder)) {
    link.state->statusCode = kStatusExportFailed;
    w.exportFailedUntil = Clock::now() + kExportFailedDisplay;
  }
  requestRepaint(link);
}

void dispatch(DeviceLink& link, WorkerState& w) {
  EditorState& state = *link.state;
  // The file the editor was started with goes first, once the device is there and idle.
  if (state.linkState.get() == kConnected) {
    const std::wstring given = state.takeGivenFile();
    if (!given.empty()) {
      openGivenFile(link, given);
      return;
    }
  }
  const int32_t code = state.pendingCommand.take(0);
  switch (code) {
    case kCommandSendSettings:
      sendSettings(link, state.program.get());
      break;
    case kCommandReadSettings:
      if (requestSettings(link, state.program.get()) == Request::Stopped) return;
      state.linkState = kConnected;
      requestRepaint(link);
      break;
    case kCommandStore:
      if (!sendStore(link)) return;
      state.linkState = kBusy;
      state.statusCode = kStatusStoring;
      requestRepaint(link);
      if (!pauseFor(link, kStoreDisplay)) return;
      state.statusCode = kStatusIdle;
      state.linkState = kConnected;
      requestRepaint(link);
      break;
    case kCommandUploadFactoryIr:
      uploadFactoryIr(link);
      break;
    case kCommandExtractAll:
      extractAllToChosenFolder(link, w);
      break;
    case kCommandImportFile:
      importDroppedFile(link);
      break;
    case kCommandOpenProgram:
    case kCommandSaveProgram:
    case kCommandBackup:
    case kCommandRestore:
      runLibrarianCommand(link, code);
      break;
    case kCommandUndo:
    case kCommandRedo:
      undoStep(link, state.commandProgram.get(), code == kCommandUndo);
      break;
    default:
      if (code >= kCommandImportFirst && code <= kCommandImportLast) importIntoSlot(link, code);
      break;  // unknown codes are dropped
  }
}

void showNoDevice(DeviceLink& link) {
  EditorState& state = *link.state;
  if (state.linkState.get() == kNoDevice) return;
  state.resetDeviceFields();
  state.linkState = kNoDevice;
  requestRepaint(link);
}

// The pause before a pass: the idle wait when nothing is in sight, then kPassPause, so that
// passes are always at least that far apart (an ERROR stays on the panel for a pass pause
// before the device is read again, as before). False when interrupted.
bool passPause(DeviceLink& link, const WorkerState& w) {
  const bool workWaiting = link.state->pendingCommand.get() != kCommandNone ||
                           (link.midiInbox && link.midiInbox->size() > 0) || link.portFault.get();
  if (!workWaiting) {
    Clock::time_point until = w.scan.nextScan - kPassPause;
    if (link.rereadPending.get() || link.failureCount.get() > 0)
      until = std::min(until, Clock::now() + kUnsettledPass);
    if (link.state->statusCode.get() == kStatusExportFailed)
      until = std::min(until, w.exportFailedUntil);
    link.state->workerBell.waitUntil(until);
  }
  return pauseFor(link, kPassPause);
}

void onePass(DeviceLink& link, WorkerState& w) {
  if (!passPause(link, w)) return;
  EditorState& state = *link.state;
  const bool found = discover(link, w.scan);
  const int32_t kind = w.scan.kind;
  if (!found) {
    showNoDevice(link);
    // Timeouts against a device that has gone say nothing of the one that comes next: it is
    // read afresh, not reset.
    link.failureCount = 0;
    return;  // a pending command waits for the device
  }
  const int32_t shown = state.linkState.get();
  if (shown == kNoDevice || shown == kError) {
    state.resetDeviceFields();
    // The reset clears modelKind too; the ports just found still say which model this is, and
    // the panel should show it while the device is read (and while it keeps failing).
    state.modelKind = kind;
    link.rereadPending = 1;
  }
  if (link.failureCount.get() >= kFailureLimit) {
    recover(link);
  } else {
    pollReply(link);
    if (link.rereadPending.get()) {
      const Sequence s = readDevice(link, w.firmware);
      if (s != Sequence::Completed) return;
    }
  }
  if (stopping(link)) return;
  if (state.statusCode.get() == kStatusExportFailed && Clock::now() >= w.exportFailedUntil) {
    state.statusCode = kStatusIdle;
    requestRepaint(link);
  }
  dispatch(link, w);
}

}  // namespace

// ---------------------------------------------------------------- the thread body

namespace {

// With no MIDI service the worker tries again after this, doubling up to the longest interval:
// a returning service is found within about a second, and a missing one costs next to nothing.
// Meanwhile it wakes only this often to look for a stop request (pauseFor's 10 ms slices alone
// would cost about 0.3 % of a core; a failed JACK connection attempt costs about 3 ms).
constexpr milliseconds kFirstServiceRetry{50};
constexpr milliseconds kLongestServiceRetry{1000};
constexpr milliseconds kIdleSlice{50};

void waitForService(DeviceLink& link, milliseconds interval) {
  const Clock::time_point deadline = Clock::now() + interval;
  while (!stopping(link)) {
    const Clock::time_point now = Clock::now();
    if (now >= deadline) return;
    sleepUntil(std::min(deadline, now + kIdleSlice));
  }
}

const char* apiName(RtMidi::Api api) {
  return api == RtMidi::LINUX_ALSA ? "ALSA" : api == RtMidi::UNIX_JACK ? "JACK" : "MIDI";
}

}  // namespace

void runWorker(DeviceLink* link) {
  // The stop flag is not cleared here: start-up zero-fills it, and a close request that comes
  // before this thread runs must still end it.
  WorkerState worker;
  const MidiPair& ports = link->ports;
  milliseconds retry = kFirstServiceRetry;
  bool serviceWasThere = true;  // so that only changes are reported
  while (!stopping(*link)) {
    if (!ports) {
      if (!openLinkPorts(*link, "midi input client", "midi client")) {
        if (serviceWasThere)
          std::fprintf(stderr, "device link: no MIDI service; waiting for one\n");
        serviceWasThere = false;
        showNoDevice(*link);
        waitForService(*link, retry);
        retry = std::min(retry * 2, kLongestServiceRetry);
        continue;
      }
      if (!serviceWasThere)
        std::fprintf(stderr, "device link: MIDI service (%s) found\n", apiName(ports.api));
      serviceWasThere = true;
      retry = kFirstServiceRetry;
      worker.scan.found = false;  // ports of the last service are gone; enumerate at once
      worker.scan.nextScan = {};
      worker.scan.watch = ports.watch.get();
    }
    if (link->serviceLost.get() || ports.serviceLost()) {
      std::fprintf(stderr, "device link: MIDI service (%s) gone; waiting for it\n",
                   apiName(ports.api));
      serviceWasThere = false;
      showNoDevice(*link);
      link->failureCount = 0;  // timeouts against a vanished service say nothing of the device
      worker.scan.watch = nullptr;
      dropLinkPorts(*link);
      continue;
    }
    onePass(*link, worker);
  }
  dropLinkPorts(*link);
}

}  // namespace orq
