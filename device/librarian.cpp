// Program files and backups for the panel's menu, over the device operations and the shared
// file formats.
#include "device/librarian.h"

#include <array>
#include <cstdio>

#include "device/device_ops.h"
#include "device/device_state.h"
#include "device/file_io.h"
#include "device/link_host.h"
#include "device/safety_backup.h"
#include "device/settings_file.h"
#include "files/user_folders.h"
#include "state/editor_state.h"

namespace orq {
namespace {

std::wstring chooseFile(DeviceLink& link, int32_t mode) {
  return link.host ? link.host->openFileDialog(mode) : std::wstring();
}

// linkState busy with statusCode at `percent`; or the percentage gone (the panel stays busy
// until the command is done, a message about it included); or connected and idle again.
void showProgress(DeviceLink& link, int percent) {
  link.state->statusCode = percent;
  link.state->linkState = kBusy;
  requestRepaint(link);
}

void endProgress(DeviceLink& link) {
  link.state->statusCode = kStatusIdle;
  requestRepaint(link);
}

void showDone(DeviceLink& link) {
  link.state->statusCode = kStatusIdle;
  if (link.state->linkState.get() == kBusy) link.state->linkState = kConnected;
  requestRepaint(link);
}

// The panel is busy from the moment a command is taken until it is done, its dialogs and
// questions included: an edit made meanwhile would wait in the one command slot, where a later
// one replaces it, and a backup would read the device over it. Unless the link was interrupted
// (the thread body then takes over), the panel is connected and idle again afterwards.
class BusyPanel {
 public:
  explicit BusyPanel(DeviceLink& link) : link_(link) {
    link_.state->linkState = kBusy;
    requestRepaint(link_);
  }
  ~BusyPanel() {
    if (!interrupted(link_)) showDone(link_);
  }
  BusyPanel(const BusyPanel&) = delete;
  BusyPanel& operator=(const BusyPanel&) = delete;

 private:
  DeviceLink& link_;
};

std::string programText(int32_t program) {
  return "program " + std::to_string(program);
}

// The shown program as the device holds it: read first when the editor never had its dump (a
// read that timed out, a dump of another program). Empty when it is there; otherwise why not.
std::string ensureRead(DeviceLink& link, int32_t program) {
  if (link.state->programBlocks[program][kReceived].get() == 1) return {};
  if (readProgram(link, program) == Request::Arrived) return {};
  return "Program " + std::to_string(program) + " could not be read from the device";
}

void saveProgram(DeviceLink& link) {
  const std::wstring path = chooseFile(link, kDialogSaveSysex);
  if (path.empty() || interrupted(link)) return;
  const int32_t program = link.state->program.get();
  if (const std::string why = ensureRead(link, program); !why.empty()) {
    if (!interrupted(link)) tellUser(link, why + "; " + utf8Name(path) + " was not written.");
    return;
  }
  const ProgramSettings settings = settingsOf(*link.state, program);
  if (!writeWhole(path, encodeProgramFile(settings)))
    tellUser(link, utf8Name(path) + " cannot be written.");
}

// The file's values into the program shown, as one undo step; the device-wide values stay. The
// step is kept only when the device was sent it; otherwise the panel goes back to what the
// device holds.
void openProgramFile(DeviceLink& link, const std::wstring& path) {
  std::vector<uint8_t> bytes;
  std::string error;
  ProgramFileContent content;
  if (readWhole(path, bytes, error)) {
    content = decodeProgramFile(bytes.data(), bytes.size());
    if (!content.error.empty()) error = utf8Name(path) + " is not a program file: " + content.error;
  }
  EditorState& state = *link.state;
  const int32_t program = state.program.get();
  if (error.empty()) error = ensureRead(link, program);
  if (interrupted(link)) return;
  if (!error.empty()) {
    tellUser(link, error + ". Nothing was sent.");
    return;
  }
  Send sent = Send::NotSent;
  {
    const auto lock = state.lockHistory();
    const SettingsValues before = state.settingsValues(program);
    state.history().reconcile(state.deviceEpoch.get(), program, before);
    SettingsValues after = before;
    for (size_t w = 0; w < after.words.size(); ++w) after.words[w] = content.settings.words[w];
    state.setSettingsValues(program, after);
    sent = sendSettings(link, program);
    if (sent == Send::NotSent) {
      state.setSettingsValues(program, before);
    } else {
      state.history().record(program, L"OPEN PROGRAM", before, after);
    }
  }
  requestRepaint(link);
  if (sent == Send::NotSent)
    tellUser(link, utf8Name(path) + " was not sent: the device's port is closed. The panel shows " +
                       "what the device holds.");
}

void backUp(DeviceLink& link) {
  const std::wstring path = chooseFile(link, kDialogSaveSysex);
  if (path.empty() || interrupted(link)) return;
  showProgress(link, 0);
  const LibrarianRun run =
      backUpAll(link, [&](int done) { showProgress(link, done * 100 / kBackupPrograms); });
  if (run.stopped) return;
  endProgress(link);
  if (!run.error.empty()) {
    tellUser(link, "The backup failed: " + run.error + ". " + utf8Name(path) + " was not written.");
  } else if (!writeWhole(path, encodeBackup(run.programs))) {
    tellUser(link, utf8Name(path) + " cannot be written.");
  }
}

// The backup's values outside their documented ranges, as the restore's question lists them.
std::string rangeWarnings(const std::vector<std::string>& warnings) {
  constexpr size_t kListed = 5;
  if (warnings.empty()) return {};
  std::string text = "\n\nOutside their documented ranges, sent as they are:";
  for (size_t i = 0; i < warnings.size() && i < kListed; ++i) text += "\n" + warnings[i];
  if (warnings.size() > kListed)
    text += "\nand " + std::to_string(warnings.size() - kListed) + " more programs";
  return text;
}

void restoreFile(DeviceLink& link, const std::wstring& path) {
  std::vector<uint8_t> bytes;
  std::string error;
  BackupContent content;
  if (readWhole(path, bytes, error)) {
    content = decodeBackup(bytes.data(), bytes.size());
    if (!content.error.empty()) error = utf8Name(path) + " is not a whole backup: " + content.error;
  }
  if (!error.empty()) {
    tellUser(link, error + ". Nothing was sent.");
    return;
  }
  if (!link.host || !link.host->confirm("Restore all 128 programs from " + utf8Name(path) +
                                            "? This replaces the settings of every program on "
                                            "the device (they are kept only after STORE)." +
                                            rangeWarnings(content.warnings),
                                        "&Restore")) {
    return;
  }
  if (interrupted(link)) return;
  // The device's own programs are kept first, and nothing is sent unless they were: the safety
  // backup's reads, then each program sent, then read back, in one progress count.
  constexpr int kSteps = 3 * kBackupPrograms;
  showProgress(link, 0);
  const SafetyBackup safety =
      makeSafetyBackup(link, safetyBackupFolder(), "restore",
                       [&](int done) { showProgress(link, done * 100 / kSteps); });
  if (safety.stopped) return;
  if (safety.path.empty()) {
    endProgress(link);
    tellUser(link,
             "The restore did not start: the programs on the device could not be kept in a "
             "safety backup first (" +
                 safety.error + "). Nothing was sent.");
    return;
  }
  const LibrarianRun run = restoreAll(link, content.programs, [&](int done) {
    showProgress(link, (kBackupPrograms + done) * 100 / kSteps);
  });
  // Whatever was sent, the device's values are no longer the ones the history knows.
  link.state->deviceEpoch = link.state->deviceEpoch.get() + 1;
  if (run.stopped) return;
  endProgress(link);
  const std::string before = " The programs before it are in " + utf8Name(safety.path) +
                             " (the panel's menu opens the backups folder).";
  if (!run.error.empty()) {
    tellUser(link, "The restore failed: " + run.error + "." + before);
  } else {
    tellUser(link, "All 128 programs were restored from " + utf8Name(path) + "." + before);
  }
}

void openProgram(DeviceLink& link) {
  const std::wstring path = chooseFile(link, kDialogOpenSysex);
  if (!path.empty() && !interrupted(link)) openProgramFile(link, path);
}

void restore(DeviceLink& link) {
  const std::wstring path = chooseFile(link, kDialogOpenSysex);
  if (!path.empty() && !interrupted(link)) restoreFile(link, path);
}

// What the device holds once it has taken `settings`: the values as the message carries them.
std::array<int32_t, kSettingsWords> asWritten(const ProgramSettings& settings) {
  ProgramSettings carried;
  const Bytes message = buildWriteSettings(settings);
  if (!decodeWriteSettings(message.data(), message.size(), carried)) return settings.words;
  return carried.words;
}

}  // namespace

Request readProgram(DeviceLink& link, int32_t program) {
  EditorState& state = *link.state;
  state.programBlocks[program][kReceived] = 0;
  const Request r = requestSettings(link, program);
  if (r == Request::Arrived && state.programBlocks[program][kReceived].get() != 1)
    return Request::TimedOut;
  return r;
}

LibrarianRun backUpAll(DeviceLink& link, const std::function<void(int done)>& progress) {
  LibrarianRun run;
  for (int p = 0; p < kBackupPrograms; ++p) {
    const Request r = interrupted(link) ? Request::Stopped : readProgram(link, p);
    if (r != Request::Arrived) {
      run.stopped = r == Request::Stopped;
      if (!run.stopped)
        run.error = "the device did not answer READ_SETTINGS for program " + std::to_string(p) +
                    " with that program's settings";
      run.programs.clear();
      return run;
    }
    run.programs.push_back(settingsOf(*link.state, p));
    if (progress) progress(++run.done);
  }
  // Program 0's dump carried the device-wide values; every message of the file repeats them.
  for (ProgramSettings& s : run.programs) {
    s.midiChannel = link.state->midiChannel;
    s.boostLock = link.state->boostLock;
  }
  return run;
}

LibrarianRun restoreAll(DeviceLink& link, const std::vector<ProgramSettings>& programs,
                        const std::function<void(int done)>& progress) {
  LibrarianRun run;
  for (const ProgramSettings& p : programs) {
    const Send sent = interrupted(link) ? Send::Stopped : sendSettings(link, p);
    if (sent == Send::NotSent) {
      run.error = programText(p.program) + " could not be sent: the device's port is closed";
      return run;
    }
    if (sent == Send::Stopped) {
      run.stopped = true;
      return run;
    }
    if (progress) progress(++run.done);
  }
  // The device does not acknowledge settings: each program is read back and compared.
  for (const ProgramSettings& p : programs) {
    const Request r = interrupted(link) ? Request::Stopped : readProgram(link, p.program);
    if (r != Request::Arrived) {
      run.stopped = r == Request::Stopped;
      if (!run.stopped)
        run.error = "the device did not answer READ_SETTINGS for program " +
                    std::to_string(p.program) + " with that program's settings";
      return run;
    }
    // The dump as the device sent it: the editor's rule for odd nibble pairs would make a pair
    // the device did not take look the same as one it did. Only program 0's dump tells the
    // device-wide values.
    const ProgramSettings now = settingsOf(*link.state, p.program);
    const bool globalsDiffer =
        p.program == 0 && (now.midiChannel != p.midiChannel || now.boostLock != p.boostLock);
    if (link.lastDumpWords != asWritten(p) || globalsDiffer) {
      run.error =
          "program " + std::to_string(p.program) + " reads back other settings than were sent";
      return run;
    }
    if (progress) progress(++run.done);
  }
  return run;
}

void undoStep(DeviceLink& link, int32_t program, bool undo) {
  EditorState& state = *link.state;
  if (program < 0 || program >= kProgramCount) return;
  bool changed = false;
  {
    // Dumps land on this thread too, so nothing comes between the values read here, the step
    // taken back on them and the message that carries the result.
    const auto lock = state.lockHistory();
    SettingsValues values = state.settingsValues(program);
    state.history().reconcile(state.deviceEpoch.get(), program, values);
    changed = undo ? state.history().undo(program, values) : state.history().redo(program, values);
    if (changed) state.setSettingsValues(program, values);
  }
  if (!changed) return;
  requestRepaint(link);
  sendSettings(link, program);
}

void openGivenFile(DeviceLink& link, const std::wstring& path) {
  const BusyPanel busy(link);
  std::vector<uint8_t> bytes;
  std::string error;
  if (!readWhole(path, bytes, error)) {
    tellUser(link, error + ". Nothing was sent.");
    return;
  }
  // A file of more than one message is meant as a backup, and refused as Restore refuses it.
  const bool program = decodeProgramFile(bytes.data(), bytes.size()).error.empty();
  if (!program && (bytes.size() > kWriteSettingsLength ||
                   decodeBackup(bytes.data(), bytes.size()).error.empty())) {
    restoreFile(link, path);
  } else {
    openProgramFile(link, path);
  }
}

void runLibrarianCommand(DeviceLink& link, int32_t code) {
  const BusyPanel busy(link);
  switch (code) {
    case kCommandOpenProgram:
      openProgram(link);
      break;
    case kCommandSaveProgram:
      saveProgram(link);
      break;
    case kCommandBackup:
      backUp(link);
      break;
    case kCommandRestore:
      restore(link);
      break;
    default:
      break;
  }
}

}  // namespace orq
