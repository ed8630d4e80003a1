// The editor state record: what the device worker and the panel share. The worker writes what
// the device reports, the user-interface thread the panel's requests. Word fields are Shared<>
// (relaxed atomics); the six slot names are swapped under a short lock. Nothing here draws,
// talks to a port or knows the window.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <string>

#include "state/doorbell.h"
#include "state/shared_word.h"
#include "state/undo_history.h"

namespace orq {

inline constexpr int kProgramCount = 128;
inline constexpr int kBlockWords = 16;
inline constexpr int kSlotCount = 6;
inline constexpr int kCatalogueSize = 18;

// Settings block words (row of programBlocks).
enum BlockWord : int {
  kLoopBypass = 0,
  kActiveChannel = 1,
  kBoost1 = 2,
  kBoost2 = 3,
  kIrSelect1 = 4,
  kIrSelect2 = 5,
  kIrBypass = 6,
  kPresence1 = 7,
  kPresence2 = 8,
  kDeep1 = 9,
  kDeep2 = 10,
  kLowpass1 = 11,
  kLowpass2 = 12,
  kGate1 = 13,
  kGate2 = 14,
  kReceived = 15,
};

// linkState values.
enum LinkState : int32_t { kNoDevice = 0, kConnected = 1, kBusy = 2, kError = 3 };

// pendingCommand codes: written by the panel, taken and carried out by the worker.
enum Command : int32_t {
  kCommandNone = 0,
  kCommandSendSettings = 1,      // the current program's block to the device
  kCommandReadSettings = 2,      // the current program's block from the device
  kCommandStore = 3,             // the device keeps its settings
  kCommandImportFirst = 4,       // choose a WAV file for user slot code - 4 ...
  kCommandImportLast = 9,        // ... up to slot 5
  kCommandUploadFactoryIr = 10,  // catalogueIndex to slot browserSlot - 1
  kCommandExtractAll = 11,       // every factory IR to a chosen folder
  kCommandImportFile = 12,       // the dropped file (takeDroppedFile) into its user slot
  kCommandOpenProgram = 13,      // a program file chosen by the user into the current program
  kCommandSaveProgram = 14,      // the current program into a program file
  kCommandBackup = 15,           // all 128 programs into a backup file
  kCommandRestore = 16,          // all 128 programs from a backup file
  kCommandUndo = 17,             // the newest step of commandProgram's history taken back, sent
  kCommandRedo = 18,             // the step undone last made again, sent
};

// statusCode values besides 0..100 (transfer per cent).
inline constexpr int32_t kStatusIdle = -1;
inline constexpr int32_t kStatusStoring = 200;
inline constexpr int32_t kStatusReading = 300;
// The last EXTRACT ALL could not write every file (shown in the status line for a while).
inline constexpr int32_t kStatusExportFailed = 400;

class EditorState {
 public:
  EditorState();
  EditorState(const EditorState&) = delete;
  EditorState& operator=(const EditorState&) = delete;

  // Written by the worker (W) or the user-interface thread (U).
  Shared<int32_t> linkState{kNoDevice};       // W
  Shared<int32_t> pendingCommand{0};          // U writes 1..18; W takes and clears
  Doorbell workerBell;                        // rung when the worker has something to do
  Shared<uint16_t> deviceFirmwareVersion{0};  // W
  Shared<uint16_t> imageFirmwareVersion{0};   // W
  Shared<int32_t> statusCode{kStatusIdle};    // W
  Shared<int32_t> program{0};                 // U, and W from device reports
  Shared<int32_t> midiChannel{0};             // U, and W from device reports
  Shared<int32_t> boostLock{0};               // U, and W from device reports
  // The panel's own view: the worker never writes these. A device found afresh or gone resets
  // them, on the user-interface thread, once it sees deviceResets move (Ui::onEvent).
  Shared<int32_t> browserSlot{0};      // U
  Shared<int32_t> ccListOpen{0};       // U
  Shared<int32_t> browserListMode{0};  // U
  Shared<int32_t> catalogueIndex{0};   // U
  Shared<int32_t> audition{0};         // U
  // Target of the last command 10, as the user chose it: browser slot 1..6 and catalogue entry.
  // Written before the command is published, so the worker uploads what was clicked even when
  // the browser has moved on by the time it takes the command.
  Shared<int32_t> commandSlot{0};   // U
  Shared<int32_t> commandEntry{0};  // U
  // The program shown when Undo or Redo was asked for (commands 17 and 18): the step is taken
  // back on that program and sent for it, whatever program is current when the worker acts.
  Shared<int32_t> commandProgram{0};                          // U
  Shared<int32_t> programBlocks[kProgramCount][kBlockWords];  // U edits, W stores dumps
  Shared<int32_t> modelKind{0};                               // W
  // Counts the times the device's values were replaced wholesale (a device found afresh, a
  // restore): the undo history forgets everything when it moves.
  Shared<int32_t> deviceEpoch{0};  // W
  // Counts resetDeviceFields calls: the panel resets its own view when it moves.
  Shared<int32_t> deviceResets{0};  // W

  // The undo history, used by the panel (its edits are steps) and by the worker (undo and redo,
  // a program file opened). The lock also covers the values the history tracks: whoever changes
  // a program's settings words or the device-wide values (the panel's edits, a dump applied,
  // an undone step) holds it from reading them to writing them back, so that neither thread
  // ever sees, or writes back, half a step.
  std::unique_lock<std::mutex> lockHistory() const {
    return std::unique_lock<std::mutex>(historyMutex_);
  }
  UndoHistory& history() { return history_; }  // with lockHistory held
  // The values of `program`'s settings message as the state holds them, and their write-back.
  SettingsValues settingsValues(int program) const;
  void setSettingsValues(int program, const SettingsValues& values);

  // Slot names as the device reported them (upper case); written by W, read by the paint.
  std::wstring slotName(int slot) const;
  void setSlotName(int slot, std::wstring name);

  // Returns every device-derived field to its start value and counts deviceResets; the panel's
  // own fields are left to the panel.
  void resetDeviceFields();

  // The file of command 12 and its user slot 0..5: U sets them before publishing the command,
  // W takes them after taking it.
  void setDroppedFile(int32_t slot, std::wstring path);
  std::wstring takeDroppedFile(int32_t& slot);

  // The file the editor was started with (a program file or a backup, opened as the menu opens
  // them): set before the worker starts, taken by W once the device is connected and idle. Until
  // then the panel shows its name (givenFileName, the path's last component).
  void setGivenFile(std::wstring path);
  std::wstring takeGivenFile();
  std::wstring givenFileName() const;

 private:
  mutable std::mutex slotNamesMutex_;
  std::array<std::wstring, kSlotCount> slotNames_;  // guarded by slotNamesMutex_
  std::mutex droppedFileMutex_;
  int32_t droppedSlot_ = -1;  // guarded by droppedFileMutex_
  std::wstring droppedFile_;  // guarded by droppedFileMutex_
  mutable std::mutex givenFileMutex_;
  std::wstring givenFile_;  // guarded by givenFileMutex_
  mutable std::mutex historyMutex_;
  UndoHistory history_;  // guarded by historyMutex_
};

}  // namespace orq
