// Where the device link meets the editor state: a decoded reply applied to the state and the
// link, and a program's settings read out of the state for sending. Worker thread, except
// settingsOf, which any thread may call (it reads Shared words).
#pragma once

#include <cstddef>
#include <cstdint>

#include "device/protocol.h"
#include "state/editor_state.h"

namespace orq {

struct DeviceLink;

// The settings of `program` as the editor state holds them, with its midiChannel and boostLock.
ProgramSettings settingsOf(const EditorState& state, int32_t program);
// WRITE_SETTINGS for state.program, from its settings block, midiChannel and boostLock.
Bytes buildWriteSettings(const EditorState& state);

// Lands one decoded reply in the state and the link: a dump fills its program's block (the
// entries it carries, then the received flag, then the pairs normalised) and, for program 0,
// midiChannel and boostLock; a change notice selects its program and asks for a re-read; a slot
// name replaces the slot's; a version that states one becomes deviceFirmwareVersion. Every
// recognised reply sets lastReply; a Reply of code 0 changes nothing.
void applyReply(Reply reply, EditorState& state, DeviceLink& link);
// decodeReply, then applyReply.
void handleReply(const uint8_t* message, size_t length, EditorState& state, DeviceLink& link);

}  // namespace orq
