// The device worker: finds the device by port-name tag, reads it whenever it appears or says it
// changed, carries out the panel's commands and reports through linkState and statusCode.
// Runs on its own thread, which alone touches the MIDI ports.
//
// Sections: firmware update; connect read and recovery; commands; the thread body.
// The device operations it calls (discovery, the connect read, settings, store, the flash) are in
// device_ops.cpp, shared with orqctl; the primitives under them are in link_io.cpp.
#include <algorithm>
#include <cstdio>
#include <memory>

#include "device/device_link.h"
#include "device/device_ops.h"
#include "device/firmware.h"
#include "device/midi_port.h"
#include "device/protocol.h"
#include "device/transfer.h"
#include "ir/ir_transfer.h"
#include "ui/steady_wait.h"
#include "ui/ui.h"

namespace orq {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

constexpr milliseconds kPassPause{5};
constexpr milliseconds kStoreDisplay{500};
constexpr milliseconds kRecoveryPause{1000};
constexpr milliseconds kExportFailedDisplay{4000};
constexpr int kFailureLimit = 2;
// Port enumeration costs about 0.2 ms over JACK (a listing of every port per port name), about
// 4 % of a core if done on every 5 ms pass. Where the service tells of every change of its port
// list (JACK, see ServiceWatch), the ports are enumerated on the pass after a change, and once a
// second besides; elsewhere every 50 ms. Always at once when ports that were found have been
// closed (recovery, library error). Replies are polled on every pass.
constexpr milliseconds kScanInterval{50};
constexpr milliseconds kScanIntervalWhenTold{1000};
// A pass follows the last after kPassPause while there is work in sight (a message waiting, a
// command); otherwise the worker sleeps until its doorbell rings (a message, a command, a change
// of the ports, a library error, the service going, a stop request) or this long has passed.
// Waking 200 times a second for nothing was the whole of its idle cost (about 0.4 % of a core
// here, and far more under Wine, where every sleep goes through the Wine server).
constexpr milliseconds kIdlePass{50};

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
  Ui& ui = *link.ui;
  if (run.downloadPending) {
    run.downloadPending = false;
    const Download d = downloadFirmwareImage(link);
    if (d == Download::Stopped) return Flash::Stopped;
    const uint16_t stamp = firmwareStamp(firmwareImage());
    // An erased stamp is no version: left at 0, it neither flashes nor makes the panel warn.
    if (d == Download::Complete && firmwareIsNewer(stamp, 0)) ui.imageFirmwareVersion = stamp;
  }
  if (run.flashed ||
      !firmwareIsNewer(ui.imageFirmwareVersion.get(), ui.deviceFirmwareVersion.get())) {
    return Flash::NotNeeded;
  }
  run.flashed = true;
  if (flashFirmware(link) == TransferResult::Stopped) return Flash::Stopped;
  // A restarting device may leave the bus and come back under new ports; ports kept open would
  // still point at the old ones. Start over as with a device just found.
  const int32_t kind = ui.modelKind.get();
  closePorts(link);
  ui.resetDeviceFields();
  ui.modelKind = kind;
  link.rereadPending = 1;
  requestRepaint(link);
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
  link.ui->linkState = kError;
  safeClose(link.midiOut);
  safeClose(link.midiIn);
  findAndOpenDevice(link);
  if (!sendReset(link) || !pauseFor(link, kRecoveryPause)) return;
  safeClose(link.midiOut);
  safeClose(link.midiIn);
  link.ui->statusCode = kStatusIdle;
  link.failureCount = 0;
  link.rereadPending = 1;
}

// ---------------------------------------------------------------- commands

// What the worker keeps from one pass to the next.
struct WorkerState {
  FirmwareRun firmware;                 // the firmware update happens at most once per run
  Clock::time_point nextScan;           // of the ports; at once when not set
  const ServiceWatch* watch = nullptr;  // of the ports in use; tells of port list changes
  uint32_t portChangesSeen = 0;         // its count at the last enumeration
  bool found = false;  // the last enumeration found the device and opened its ports
  int32_t kind = 0;    // model kind from the last enumeration
  Clock::time_point exportFailedUntil;  // "EXPORT FAILED" stays this long
};

// After a commit the device sends CHANGE_NOTICE, and reading it again ends the busy state and
// shows the slot's new name. A device that stays silent is read again once the reply budget has
// passed, so the panel is never left locked while the device is there.
void afterUpload(DeviceLink& link, TransferResult result) {
  if (result != TransferResult::Committed) return;
  if (waitForReply(link, kChangeNotice) == WaitResult::Stopped) return;
  link.rereadPending = 1;
}

// Command 10: the catalogue entry the user chose into the slot whose browser was open then.
void uploadFactoryIr(DeviceLink& link) {
  Ui& ui = *link.ui;
  ui.linkState = kBusy;
  requestRepaint(link);
  const int32_t slot = ui.commandSlot;
  const int32_t entry = ui.commandEntry;
  if (slot < 1 || slot > kSlotCount || entry < 0 || entry >= kCatalogueSize) {
    ui.linkState = kConnected;  // no browser was open: nothing to send
    requestRepaint(link);
    return;
  }
  afterUpload(link, uploadCatalogueEntry(link, entry, static_cast<uint8_t>(slot - 1)));
  requestRepaint(link);
}

// A WAV file of the user's into user slot 0..5, once it is known (from the dialog, or dropped).
// A slot outside that range is refused as the empty path of a cancelled dialog is.
void importFile(DeviceLink& link, const std::wstring& path, int32_t slot) {
  const bool inRange = slot >= 0 && slot < kSlotCount;
  afterUpload(link,
              importWav(link, inRange ? path : L"", static_cast<uint8_t>(inRange ? slot : 0)));
  requestRepaint(link);
}

// Commands 4..9: a WAV file chosen in the dialog into slot code - 4.
void importIntoSlot(DeviceLink& link, int32_t code) {
  Ui& ui = *link.ui;
  ui.linkState = kBusy;
  requestRepaint(link);
  const std::wstring path = link.platform ? link.platform->openFileDialog(kDialogWav) : L"";
  if (stopping(link)) return;
  importFile(link, path, code - kCommandImportFirst);
}

// Command 12: the file dropped on a slot row, with no dialog.
void importDroppedFile(DeviceLink& link) {
  Ui& ui = *link.ui;
  ui.linkState = kBusy;
  requestRepaint(link);
  int32_t slot = -1;
  const std::wstring path = ui.takeDroppedFile(slot);
  importFile(link, path, slot);
}

// Command 11: every factory IR into a folder of the user's. The panel stays usable meanwhile.
void exportFactoryIrs(DeviceLink& link, WorkerState& w) {
  const std::wstring folder = link.platform ? link.platform->openFileDialog(kDialogFolder) : L"";
  if (stopping(link)) return;
  if (!extractAll(link, folder)) {
    link.ui->statusCode = kStatusExportFailed;
    w.exportFailedUntil = Clock::now() + kExportFailedDisplay;
  }
  requestRepaint(link);
}

void dispatch(DeviceLink& link, WorkerState& w) {
  Ui& ui = *link.ui;
  const int32_t code = ui.pendingCommand.take(0);
  switch (code) {
    case kCommandSendSettings:
      sendSettings(link, ui.program.get());
      break;
    case kCommandReadSettings:
      if (requestSettings(link, ui.program.get()) == Request::Stopped) return;
      ui.linkState = kConnected;
      requestRepaint(link);
      break;
    case kCommandStore:
      if (!sendStore(link)) return;
      ui.linkState = kBusy;
      ui.statusCode = kStatusStoring;
      requestRepaint(link);
      if (!pauseFor(link, kStoreDisplay)) return;
      ui.statusCode = kStatusIdle;
      ui.linkState = kConnected;
      requestRepaint(link);
      break;
    case kCommandUploadFactoryIr:
      uploadFactoryIr(link);
      break;
    case kCommandExtractAll:
      exportFactoryIrs(link, w);
      break;
    case kCommandImportFile:
      importDroppedFile(link);
      break;
    default:
      if (code >= kCommandImportFirst && code <= kCommandImportLast) importIntoSlot(link, code);
      break;  // unknown codes are dropped
  }
}

// Port discovery, at the pace described at kScanInterval. Between enumerations the device
// counts as present while the ports found last time stay open.
bool discover(DeviceLink& link, WorkerState& w) {
  const bool reopen = w.found && !(safeIsOpen(link.midiIn) && safeIsOpen(link.midiOut));
  const bool told = w.watch && w.watch->hearsPortChanges();
  // Read before the enumeration, so that a change during it brings another one.
  const uint32_t changes = told ? w.watch->portChanges() : 0;
  const bool changed = told && changes != w.portChangesSeen;
  const Clock::time_point now = Clock::now();
  if (now < w.nextScan && !reopen && !changed && !link.portFault.get()) return w.found;
  w.nextScan = now + (told ? kScanIntervalWhenTold : kScanInterval);
  w.portChangesSeen = changes;
  w.found = findAndOpenDevice(link, &w.kind);
  return w.found;
}

void showNoDevice(DeviceLink& link) {
  Ui& ui = *link.ui;
  if (ui.linkState.get() == kNoDevice) return;
  ui.resetDeviceFields();
  ui.linkState = kNoDevice;
  requestRepaint(link);
}

// The pause before a pass: the idle wait when nothing is in sight, then kPassPause, so that
// passes are always at least that far apart (an ERROR stays on the panel for a pass pause
// before the device is read again, as before). False when interrupted.
bool passPause(DeviceLink& link, const WorkerState& w) {
  const bool workWaiting = link.ui->pendingCommand.get() != kCommandNone ||
                           (link.midiInbox && link.midiInbox->size() > 0) || link.portFault.get();
  if (!workWaiting) {
    const Clock::time_point until = std::min(Clock::now() + kIdlePass, w.nextScan - kPassPause);
    link.ui->workerBell.waitUntil(until);
  }
  return pauseFor(link, kPassPause);
}

void onePass(DeviceLink& link, WorkerState& w) {
  if (!passPause(link, w)) return;
  Ui& ui = *link.ui;
  const bool found = discover(link, w);
  const int32_t kind = w.kind;
  if (!found) {
    showNoDevice(link);
    // Timeouts against a device that has gone say nothing of the one that comes next: it is
    // read afresh, not reset.
    link.failureCount = 0;
    return;  // a pending command waits for the device
  }
  const int32_t state = ui.linkState.get();
  if (state == kNoDevice || state == kError) {
    ui.resetDeviceFields();
    // The reset clears modelKind too; the ports just found still say which model this is, and
    // the panel should show it while the device is read (and while it keeps failing).
    ui.modelKind = kind;
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
  if (ui.statusCode.get() == kStatusExportFailed && Clock::now() >= w.exportFailedUntil) {
    ui.statusCode = kStatusIdle;
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
  WorkerState state;
  MidiPair ports;
  milliseconds retry = kFirstServiceRetry;
  bool serviceWasThere = true;  // so that only changes are reported
  while (!stopping(*link)) {
    if (!ports) {
      ports = openLinkPorts(*link, "midi input client", "midi client");
      if (!ports) {
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
      state.found = false;  // ports of the last service are gone; enumerate at once
      state.nextScan = {};
      state.watch = ports.watch.get();
    }
    if (link->serviceLost.get() || ports.serviceLost()) {
      std::fprintf(stderr, "device link: MIDI service (%s) gone; waiting for it\n",
                   apiName(ports.api));
      serviceWasThere = false;
      showNoDevice(*link);
      link->failureCount = 0;  // timeouts against a vanished service say nothing of the device
      state.watch = nullptr;
      dropLinkPorts(*link, ports);
      continue;
    }
    onePass(*link, state);
  }
  dropLinkPorts(*link, ports);
}

}  // namespace orq
