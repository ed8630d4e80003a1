// Undo and redo of the panel's settings changes, the shortcut keys and the panel's menu. Each
// change a press makes to the values a settings message carries is one step of the shown
// program's history (state/undo_history.h), named for the control that made it. Undo and redo
// are worker commands, as are the program files and backups of the menu (device/librarian.h):
// the worker puts the values back and sends them in one step.
#include <string>
#include <vector>

#include "ui/controls.h"
#include "ui/ui.h"

namespace orq {

namespace {

// The control's label on the panel, as a step's name; empty for controls that make no step.
std::wstring stepName(uint32_t id, int32_t modelKind) {
  if (control::indexIn(id, control::kIrRadio, kSlotCount) >= 0) return L"IR";
  switch (id) {
    case control::kChannelDown:
    case control::kChannelUp:
      return L"MIDI CHANNEL";
    case control::kChannelSwitch:
    case control::kFootswitchChannel1:
    case control::kFootswitchChannel2:
      return L"CHANNEL";
    case control::kBoostSwitch:
    case control::kFootswitchBoost:
      return L"BOOST";
    case control::kIrBypassSwitch:
      return L"IR BYPASS";
    case control::kLoopBypassSwitch:
      return L"LOOP BYPASS";
    case control::kIrSwitch1:
    case control::kIrSwitch2:
      return L"IR";
    case control::kBoostLock:
      return L"BOOST LOCK";
    case control::kPresence1:
    case control::kPresence2:
      return L"PRESENCE";
    case control::kDeep1:
    case control::kDeep2:
      return modelKind == 1 ? L"DEEP" : L"THUMP";
    case control::kLowpass1:
    case control::kLowpass2:
      return L"LOWPASS";
    case control::kGate1:
    case control::kGate2:
      return L"GATE";
    default:
      return {};
  }
}

std::string narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

void askWorker(Ui& ui, int32_t code) {
  ui.handOverCommand(code);
  if (ui.platform) ui.platform->requestRepaint();
}

}  // namespace

void Ui::recordStep(int32_t shownProgram, uint32_t id, const SettingsValues& before) {
  // Moving to another program is no step, and a block not yet read is asked for, not sent.
  if (program.get() != shownProgram || programBlocks[shownProgram][kReceived] == 0) return;
  const std::wstring name = stepName(id, modelKind);
  if (name.empty()) return;
  history().reconcile(deviceEpoch, shownProgram, before);
  history().record(shownProgram, name, before, settingsValues(shownProgram));
}

bool Ui::undoOrRedo(bool undo) {
  const int32_t shown = program;
  {
    const auto lock = lockHistory();
    history().reconcile(deviceEpoch, shown, settingsValues(shown));
    if ((undo ? history().undoName(shown) : history().redoName(shown)).empty()) return false;
  }
  // The worker takes the step back and sends it as one unit, for the program shown now.
  commandProgram = shown;
  askWorker(*this, undo ? kCommandUndo : kCommandRedo);
  return true;
}

void Ui::onAction(Action action) {
  // Like pointer input, nothing acts while the device is busy or away.
  if (linkState != kConnected) return;
  switch (action) {
    case Action::Undo:
    case Action::Redo:
      undoOrRedo(action == Action::Undo);
      break;
    case Action::OpenProgram:
      askWorker(*this, kCommandOpenProgram);
      break;
    case Action::SaveProgram:
      askWorker(*this, kCommandSaveProgram);
      break;
    case Action::BackUpAll:
      askWorker(*this, kCommandBackup);
      break;
    case Action::RestoreAll:
      askWorker(*this, kCommandRestore);
      break;
    case Action::OpenBackupsFolder:
      if (platform) platform->openBackupsFolder();
      break;
    case Action::None:
      break;
  }
}

std::vector<MenuItem> Ui::menuItems() {
  const int32_t shown = program;
  std::wstring undoName;
  bool canRedo = false;
  {
    const auto lock = lockHistory();
    history().reconcile(deviceEpoch, shown, settingsValues(shown));
    undoName = history().undoName(shown);
    canRedo = !history().redoName(shown).empty();
  }
  return {
      {undoName.empty() ? "Undo" : "Undo " + narrow(undoName), "Ctrl+Z", Action::Undo,
       !undoName.empty()},
      {"Redo", "Ctrl+Shift+Z", Action::Redo, canRedo},
      {"Open program\u2026", "Ctrl+O", Action::OpenProgram, true},
      {"Save program\u2026", "Ctrl+S", Action::SaveProgram, true},
      {"Back up all programs\u2026", "", Action::BackUpAll, true},
      {"Restore all programs\u2026", "", Action::RestoreAll, true},
      {"Open the backups folder", "", Action::OpenBackupsFolder, true},
  };
}

void Ui::onRightDown() {
  if (linkState != kConnected || !platform) return;
  platform->popupMenu(menuItems());
}

}  // namespace orq
