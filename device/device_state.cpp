#include "device/device_state.h"

#include <utility>

#include "device/device_link.h"

namespace orq {
namespace {

// Nibble pairs hold 1..3 per channel; a pair read back with anything else becomes the middle
// position on both channels.
void normalisePair(Shared<int32_t>* block, int low, int high) {
  const int32_t a = block[low];
  const int32_t b = block[high];
  if (a < 1 || a > 3 || b < 1 || b > 3) {
    block[low] = 2;
    block[high] = 2;
  }
}

void applySettingsDump(const Reply& r, EditorState& state, DeviceLink& link) {
  // The panel and an undone step change these words under the same lock: a dump never lands in
  // the middle of either.
  const auto lock = state.lockHistory();
  link.lastDumpProgram = r.program;
  if (r.program == 0) {
    state.midiChannel = r.midiChannel;
    state.boostLock = r.boostLock;
  }
  Shared<int32_t>* block = state.programBlocks[r.program];
  for (int e = 0; e < kSettingsWords; ++e) {
    if (r.present & (1u << e)) block[e] = r.words[e];
    link.lastDumpWords[static_cast<size_t>(e)] = block[e];
  }
  block[kReceived] = 1;
  normalisePair(block, kPresence1, kPresence2);
  normalisePair(block, kDeep1, kDeep2);
  normalisePair(block, kLowpass1, kLowpass2);
}

}  // namespace

ProgramSettings settingsOf(const EditorState& state, int32_t program) {
  ProgramSettings s;
  s.program = program;
  s.midiChannel = state.midiChannel;
  s.boostLock = state.boostLock;
  if (program < 0 || program >= kProgramCount) return s;
  for (int w = 0; w < kSettingsWords; ++w) s.words[w] = state.programBlocks[program][w];
  return s;
}

Bytes buildWriteSettings(const EditorState& state) {
  return buildWriteSettings(settingsOf(state, state.program));
}

void applyReply(Reply r, EditorState& state, DeviceLink& link) {
  switch (r.code) {
    case kSettingsDump:
      applySettingsDump(r, state, link);
      break;
    case kChangeNotice:
      if (r.hasProgram) state.program = r.program;
      link.rereadPending = 1;
      break;
    case kSlotName:
      if (r.hasName) state.setSlotName(r.slot, std::move(r.name));
      break;
    case kVersion:
      link.versionStated = r.versionStated;
      if (r.versionStated) state.deviceFirmwareVersion = r.version;
      break;
    case kAck:
      break;
    default:
      return;  // nothing recognised: lastReply stays
  }
  link.lastReply = r.code;
}

void handleReply(const uint8_t* message, size_t length, EditorState& state, DeviceLink& link) {
  applyReply(decodeReply(message, length), state, link);
}

}  // namespace orq
