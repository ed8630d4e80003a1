// Feeds arbitrary device messages to the reply handler, several per input so that state carries
// over from one to the next, and checks after each one what the editor relies on: the device
// fields stay in range, received blocks keep valid nibble pairs, names stay short and 7-bit,
// and a settings message built from whatever was stored still carries only data bytes.
//
// Input: a sequence of [length byte][that many message bytes]; a short tail is one message.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "device/device_link.h"
#include "device/device_state.h"
#include "device/protocol.h"
#include "state/editor_state.h"

namespace {

void fail(const char* what) {
  std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}

void check(bool ok, const char* what) {
  if (!ok) fail(what);
}

bool validPair(int32_t a, int32_t b) {
  return a >= 1 && a <= 3 && b >= 1 && b <= 3;
}

// Whether the handler must leave lastReply alone for this message, whatever it holds.
bool mustBeDropped(const uint8_t* m, size_t n) {
  if (n < 3 || m[1] != 0) return true;
  switch (m[2]) {
    case orq::kSettingsDump:
      return n < 14 || m[3] > 127;
    case orq::kChangeNotice:
      return n != 4 && n != 5;
    case orq::kSlotName:
      return n < 70 || m[4] > 5;
    case orq::kAck:
    case orq::kVersion:
      return n < 4;
    default:
      return true;
  }
}

void checkState(const orq::EditorState& ui, const uint8_t* m, size_t n, int32_t replyBefore,
                int32_t replyAfter) {
  check(ui.program >= 0 && ui.program <= 127, "program 0..127");
  check(ui.midiChannel >= 0 && ui.midiChannel <= 31, "midiChannel 0..31");
  check(ui.boostLock == 0 || ui.boostLock == 1, "boostLock 0/1");
  if (mustBeDropped(m, n)) check(replyAfter == replyBefore, "dropped message kept lastReply");
  for (int p = 0; p < orq::kProgramCount; ++p) {
    const auto& b = ui.programBlocks[p];
    if (b[orq::kReceived] == 0) continue;
    check(b[orq::kReceived] == 1, "received flag 0/1");
    check(validPair(b[orq::kPresence1], b[orq::kPresence2]), "presence pair 1..3");
    check(validPair(b[orq::kDeep1], b[orq::kDeep2]), "deep pair 1..3");
    check(validPair(b[orq::kLowpass1], b[orq::kLowpass2]), "lowpass pair 1..3");
  }
  for (int s = 0; s < orq::kSlotCount; ++s) {
    const std::wstring name = ui.slotName(s);
    check(name.size() <= 64, "slot name <= 64 characters");
    for (wchar_t c : name) {
      check(c > 0 && c < 0x80, "slot name 7-bit without NUL");
      check(c < L'a' || c > L'z', "slot name upper case");
    }
  }
  const orq::Bytes settings = orq::buildWriteSettings(ui);
  check(settings.size() == orq::kWriteSettingsLength, "WRITE_SETTINGS is 18 bytes");
  for (size_t i = 1; i + 1 < settings.size(); ++i) check(settings[i] < 0x80, "7-bit settings");
}

struct State {
  orq::EditorState ui;
  orq::DeviceLink link;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static State* state = new State;  // lives for the whole run
  orq::EditorState& ui = state->ui;
  orq::DeviceLink& link = state->link;
  ui.resetDeviceFields();
  link.lastReply = 0;
  link.rereadPending = 0;

  size_t pos = 0;
  while (pos < size) {
    size_t n = data[pos++];
    if (n > size - pos) n = size - pos;
    // The handler gets its own heap copy of exactly n bytes, so any read past the end trips ASan.
    auto* m = static_cast<uint8_t*>(std::malloc(n ? n : 1));
    for (size_t i = 0; i < n; ++i) m[i] = data[pos + i];
    const int32_t before = link.lastReply;
    orq::handleReply(m, n, ui, link);
    checkState(ui, m, n, before, link.lastReply);

    const orq::Bytes end = orq::buildEndTransfer(3, static_cast<uint16_t>(n),
                                                 std::string(reinterpret_cast<const char*>(m), n));
    check(end.size() == orq::kEndTransferLength, "END_TRANSFER is 73 bytes");
    for (size_t i = 1; i + 1 < end.size(); ++i) check(end[i] < 0x80, "7-bit END_TRANSFER");
    std::free(m);
    pos += n;
  }
  return 0;
}
