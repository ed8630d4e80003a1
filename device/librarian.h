// The editor's program files and backups on the device: Open program and Save program on the
// program shown, and Back up / Restore all 128 programs, with the file formats of
// settings_file.h (the ones orqctl reads and writes). The worker runs them for the panel's menu;
// they ask the user through the link's host (file dialogs, the restore's confirmation, what was
// wrong with a file) and report progress in statusCode.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "device/device_link.h"
#include "device/link_io.h"
#include "device/protocol.h"

namespace orq {

// READ_SETTINGS for `program` until that program's own dump has come: Arrived only then (a dump
// of another program answers the request but reads nothing of this one). The dump's words as the
// device sent them are then in link.lastDumpWords.
Request readProgram(DeviceLink& link, int32_t program);

// How a backup or a restore went: `error` empty on success, else what the device did not do;
// `stopped` when the link was interrupted (the caller says so); `done` counts the steps made
// (a restore sends every program, then reads each back).
struct LibrarianRun {
  std::vector<ProgramSettings> programs;  // a backup's, program 0 first
  std::string error;
  bool stopped = false;
  int done = 0;
};

// Every program read from the device (program 0's dump tells the device-wide values, which
// every entry then carries). `progress` is told how many are done. `programs` is empty unless
// all 128 came.
LibrarianRun backUpAll(DeviceLink& link, const std::function<void(int done)>& progress);

// Sends every program of `programs`, then reads each back to check the device holds it: the words
// it reports must be the ones the message carried (an out-of-range value the device holds is
// reported as it is, so it compares too). `progress` counts to twice their number.
LibrarianRun restoreAll(DeviceLink& link, const std::vector<ProgramSettings>& programs,
                        const std::function<void(int done)>& progress);

// The worker's commands kCommandOpenProgram .. kCommandRestore. The panel is busy from the start
// of each to its end, dialogs included.
void runLibrarianCommand(DeviceLink& link, int32_t code);

// The file the editor was started with, once the device is connected: a program file is opened
// as Open program opens the file chosen, a whole backup restored as Restore restores one (after
// the same question), and anything else refused with the message the menu's entry would give.
void openGivenFile(DeviceLink& link, const std::wstring& path);

// Commands kCommandUndo and kCommandRedo: the newest step of `program`'s history taken back (or
// made again) on the values the editor holds now, and the result sent for that program, with no
// reply applied in between. Nothing happens when there is no step, or when the device changed
// the values under the history.
void undoStep(DeviceLink& link, int32_t program, bool undo);

}  // namespace orq
