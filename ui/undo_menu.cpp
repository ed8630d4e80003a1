// Undo and redo of the panel's settings changes, the shortcut keys and the panel's menu. Each
// change a press makes to the values a settings message carries is one step of the shown
// program's history (state/undo_history.h), named for the control that made it. Undo and redo
// are worker commands, as are the program files and backups of the menu (device/librarian.h):
// the worker puts the values back and sends them in one step.
#include <string>
#include <vector>

#include "state/settings_table.h"
#include "ui/controls.h"
#include "ui/ui.h"

namespace orq {

namespace {

constexpr int kNoSetting = -100;

// The setting a press on control `id` changes (a settings word or a device-wide value), or none.
int settingWordOf(uint32_t id) {
  if (const int32_t s = control::indexIn(id, control::kIrRadio, kSlotCount); s >= 0)
    return s < 3 ? kIrSelect1 : kIrSelect2;
  switch (id) {
    case control::kChannelDown:
    case control::kChannelUp:
      return kMidiChannelSetting;
    case control::kChannelSwitch:
    case control::kFootswitchChannel1:
    case control::kFootswitchChannel2:
      return kActiveChannel;
    case control::kBoostSwitch:
    case control::kFootswitchBoost:
      return kBoost1;  // or kBoost2: both are BOOST
    case control::kIrBypassSwitch:
      return kIrBypass;
    case control::kLoopBypassSwitch:
      return kLoopBypass;
    case control::kIrSwitch1:
      return kIrSelect1;
    case control::kIrSwitch2:
      return kIrSelect2;
    case control::kBoostLock:
      return kBoostLockSetting;
    case control::kPresence1:
      return kPresence1;
    case control::kPresence2:
      return kPresence2;
    case control::kDeep1:
      return kDeep1;
    case control::kDeep2:
      return kDeep2;
    case control::kLowpass1:
      return kLowpass1;
    case control::kLowpass2:
      return kLowpass2;
    case control::kGate1:
      return kGate1;
    case control::kGate2:
      return kGate2;
    default:
      return kNoSetting;
  }
}

// The name of the setting a press on `id` changes, as a step's name (the control's label on the
// panel); empty for controls that make no step.
std::wstring stepName(uint32_t id, int32_t modelKind) {
  const Setting* setting = settingOf(settingWordOf(id));
  return setting ? labelOf(*setting, modelKind) : L"";
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
