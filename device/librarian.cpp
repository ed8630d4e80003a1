// Program files and backups for the panel's menu, over the device operations and the shared
// file formats.
#include "device/librarian.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "app/file_path.h"
#include "device/device_ops.h"
#include "device/device_state.h"
#include "device/link_host.h"
#include "device/settings_file.h"
#include "state/editor_state.h"

namespace orq {
namespace {

// Larger files are refused unread: they cannot be a backup (2304 bytes).
constexpr uintmax_t kLargestFile = 1 << 20;

std::string utf8Name(const std::wstring& path) {
  return nativePath(fileName(path));
}

// The whole file, or an error that names it.
bool readWhole(const std::wstring& path, std::vector<uint8_t>& bytes, std::string& error) {
  std::error_code ec;
  const std::filesystem::path fsPath = filePath(path);
  const uintmax_t size = std::filesystem::file_size(fsPath, ec);
  if (ec || !std::filesystem::is_regular_file(fsPath, ec)) {
    error = utf8Name(path) + " cannot be read";
    return false;
  }
  if (size > kLargestFile) {
    error = utf8Name(path) + " is " + std::to_string(size) + " bytes long, far too long";
    return false;
  }
  std::ifstream in(fsPath, std::ios::binary);
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof()) {
    error = utf8Name(path) + " cannot be read";
    return false;
  }
  return true;
}

// Writes through a temporary file beside `path`, so that a failed write never replaces a good
// file.
bool writeWhole(const std::wstring& path, const std::vector<uint8_t>& bytes) {
  const std::filesystem::path target = filePath(path);
  std::filesystem::path part = target;
  part += ".part";
  {
    std::ofstream out(part, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      std::error_code ec;
      std::filesystem::remove(part, ec);
      return false;
    }
  }
  std::error_code ec;
  std::filesystem::rename(part, target, ec);
  if (ec) std::filesystem::remove(part, ec);
  return !ec;
}

void tell(DeviceLink& link, const std::string& message) {
  if (link.host) link.host->confirm(message, "");
}

std::wstring chooseFile(DeviceLink& link, int32_t mode) {
  return link.host ? link.host->openFileDialog(mode) : std::wstring();
}

// linkState busy with statusCode at `percent`, or back to connected and idle.
void showProgress(DeviceLink& link, int percent) {
  link.state->statusCode = percent;
  link.state->linkState = kBusy;
  requestRepaint(link);
}

void showDone(DeviceLink& link) {
  link.state->statusCode = kStatusIdle;
  if (link.state->linkState.get() == kBusy) link.state->linkState = kConnected;
  requestRepaint(link);
}

void saveProgram(DeviceLink& link) {
  const std::wstring path = chooseFile(link, kDialogSaveSysex);
  if (path.empty() || stopping(link)) return;
  const ProgramSettings settings = settingsOf(*link.state, link.state->program.get());
  if (!writeWhole(path, encodeProgramFile(settings)))
    tell(link, utf8Name(path) + " cannot be written.");
}

// The file's values into the program shown, as one undo step; the device-wide values stay.
void openProgram(DeviceLink& link) {
  const std::wstring path = chooseFile(link, kDialogOpenSysex);
  if (path.empty() || stopping(link)) return;
  std::vector<uint8_t> bytes;
  std::string error;
  ProgramFileContent content;
  if (readWhole(path, bytes, error)) {
    content = decodeProgramFile(bytes.data(), bytes.size());
    if (!content.error.empty()) error = utf8Name(path) + " is not a program file: " + content.error;
  }
  if (!error.empty()) {
    tell(link, error + ". Nothing was sent.");
    return;
  }
  EditorState& state = *link.state;
  const int32_t program = state.program.get();
  {
    const auto lock = state.lockHistory();
    const SettingsValues before = state.settingsValues(program);
    state.history().reconcile(state.deviceEpoch.get(), program, before);
    SettingsValues after = before;
    for (size_t w = 0; w < after.words.size(); ++w) after.words[w] = content.settings.words[w];
    state.setSettingsValues(program, after);
    state.programBlocks[program][kReceived] = 1;
    state.history().record(program, L"OPEN PROGRAM", before, after);
  }
  requestRepaint(link);
  sendSettings(link, program);
}

void backUp(DeviceLink& link) {
  const std::wstring path = chooseFile(link, kDialogSaveSysex);
  if (path.empty() || stopping(link)) return;
  showProgress(link, 0);
  const LibrarianRun run =
      backUpAll(link, [&](int done) { showProgress(link, done * 100 / kBackupPrograms); });
  if (run.stopped) return;
  showDone(link);
  if (!run.error.empty()) {
    tell(link, "The backup failed: " + run.error + ". " + utf8Name(path) + " was not written.");
  } else if (!writeWhole(path, encodeBackup(run.programs))) {
    tell(link, utf8Name(path) + " cannot be written.");
  }
}

void restore(DeviceLink& link) {
  const std::wstring path = chooseFile(link, kDialogOpenSysex);
  if (path.empty() || stopping(link)) return;
  std::vector<uint8_t> bytes;
  std::string error;
  BackupContent content;
  if (readWhole(path, bytes, error)) {
    content = decodeBackup(bytes.data(), bytes.size());
    if (!content.error.empty()) error = utf8Name(path) + " is not a whole backup: " + content.error;
  }
  if (!error.empty()) {
    tell(link, error + ". Nothing was sent.");
    return;
  }
  if (!link.host || !link.host->confirm("Restore all 128 programs from " + utf8Name(path) +
                                            "? This replaces the settings of every program on "
                                            "the device (they are kept only after STORE).",
                                        "&Restore")) {
    return;
  }
  if (stopping(link)) return;
  showProgress(link, 0);
  const LibrarianRun run = restoreAll(link, content.programs, [&](int done) {
    showProgress(link, done * 100 / (2 * kBackupPrograms));
  });
  // Whatever was sent, the device's values are no longer the ones the history knows.
  link.state->deviceEpoch = link.state->deviceEpoch.get() + 1;
  if (run.stopped) return;
  showDone(link);
  if (!run.error.empty()) tell(link, "The restore failed: " + run.error + ".");
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
    if (interrupted(link) || !sendSettings(link, p)) {
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
    // Only program 0's dump tells the device-wide values.
    const ProgramSettings now = settingsOf(*link.state, p.program);
    const ProgramSettings expected = asReadBack(p);
    if (now.words != expected.words || (p.program == 0 && now != expected)) {
      run.error =
          "program " + std::to_string(p.program) + " reads back other settings than were sent";
      return run;
    }
    if (progress) progress(++run.done);
  }
  return run;
}

void runLibrarianCommand(DeviceLink& link, int32_t code) {
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
