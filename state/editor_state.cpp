// The editor state's start values, the device-field reset and the slot-name hand-off.
#include "state/editor_state.h"

#include <utility>

namespace orq {

EditorState::EditorState() {
  resetDeviceFields();
  linkState = kNoDevice;
}

std::wstring EditorState::slotName(int slot) const {
  if (slot < 0 || slot >= kSlotCount) return {};
  std::lock_guard<std::mutex> lock(slotNamesMutex_);
  return slotNames_[slot];
}

void EditorState::setSlotName(int slot, std::wstring name) {
  if (slot < 0 || slot >= kSlotCount) return;
  std::lock_guard<std::mutex> lock(slotNamesMutex_);
  slotNames_[slot].swap(name);  // the old string is released outside the paint's view
}

void EditorState::resetDeviceFields() {
  for (auto& row : programBlocks) {
    for (auto& word : row) word = 0;
  }
  for (int s = 0; s < kSlotCount; ++s) setSlotName(s, {});
  deviceFirmwareVersion = 0;
  imageFirmwareVersion = 0;
  modelKind = 0;
  program = 0;
  midiChannel = 0;
  boostLock = 0;
  statusCode = kStatusIdle;
  deviceEpoch = deviceEpoch + 1;
  deviceResets = deviceResets + 1;
}

SettingsValues EditorState::settingsValues(int program) const {
  SettingsValues v;
  if (program < 0 || program >= kProgramCount) return v;
  for (int w = 0; w < kHistoryWords; ++w)
    v.words[static_cast<size_t>(w)] = programBlocks[program][w];
  v.midiChannel = midiChannel;
  v.boostLock = boostLock;
  return v;
}

void EditorState::setSettingsValues(int program, const SettingsValues& values) {
  if (program < 0 || program >= kProgramCount) return;
  for (int w = 0; w < kHistoryWords; ++w)
    programBlocks[program][w] = values.words[static_cast<size_t>(w)];
  midiChannel = values.midiChannel;
  boostLock = values.boostLock;
}

void EditorState::setDroppedFile(int32_t slot, std::wstring path) {
  std::lock_guard<std::mutex> lock(droppedFileMutex_);
  droppedSlot_ = slot;
  droppedFile_ = std::move(path);
}

std::wstring EditorState::takeDroppedFile(int32_t& slot) {
  std::lock_guard<std::mutex> lock(droppedFileMutex_);
  slot = std::exchange(droppedSlot_, -1);
  return std::exchange(droppedFile_, {});
}

void EditorState::setGivenFile(std::wstring path) {
  std::lock_guard<std::mutex> lock(givenFileMutex_);
  givenFile_ = std::move(path);
}

std::wstring EditorState::takeGivenFile() {
  std::lock_guard<std::mutex> lock(givenFileMutex_);
  return std::exchange(givenFile_, {});
}

std::wstring EditorState::givenFileName() const {
  std::lock_guard<std::mutex> lock(givenFileMutex_);
  const size_t slash = givenFile_.find_last_of(L"/\\");
  return slash == std::wstring::npos ? givenFile_ : givenFile_.substr(slash + 1);
}

}  // namespace orq
