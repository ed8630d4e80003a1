// The panel's palette and the per-model looks (accent, inks). Shared by the paint pass and the
// tests that check what it drew. Colours are 0xAARRGGBB, straight alpha.
#pragma once

#include <cstdint>

namespace orq::panel {

inline constexpr uint32_t kBackground = 0xFF030303;
inline constexpr uint32_t kColumn = 0xFF141416;
inline constexpr uint32_t kHeaderBar = 0xFF08080A;
inline constexpr uint32_t kControlBox = 0xFF202022;
inline constexpr uint32_t kTrackOff = 0xFF303032;
inline constexpr uint32_t kLabel = 0xFFBEBEBE;
inline constexpr uint32_t kDimText = 0xFF8C8C8E;
inline constexpr uint32_t kIconIdle = 0xFF505050;
inline constexpr uint32_t kWhite = 0xFFF0F0F0;
inline constexpr uint32_t kShade = 0x40000000;
inline constexpr uint32_t kVeil = 0xA0000000;
inline constexpr uint32_t kStatusText = 0xDC000000;
inline constexpr uint32_t kListRowEven = 0xFF1C1C1E;
inline constexpr uint32_t kListRowOdd = 0xFF101012;

inline constexpr uint32_t kGold = 0xFFD2AE66;
inline constexpr uint32_t kSilver = 0xFFC8C5C3;
inline constexpr uint32_t kRed = 0xFFBE2816;
inline constexpr uint32_t kWine = 0xFF712429;

// Any modelKind outside 0..2 looks like model 0 (the picture lookup does the same).
inline constexpr int lookOf(int32_t modelKind) {
  return modelKind == 1 || modelKind == 2 ? modelKind : 0;
}

struct ModelLook {
  uint32_t accent;      // switches, titles, selected entries
  uint32_t plate;       // header box and bottom strip
  uint32_t logoInk;     // maker logo on the header box
  uint32_t stripText;   // "POWERED BY"
  uint32_t markInk;     // word-mark on the bottom strip
  uint32_t titleInk;    // section titles and idle STORE text on dark ground
};

inline constexpr ModelLook kLooks[3] = {
    {kGold, kGold, kBackground, 0x96000000, kColumn, kGold},
    {kSilver, kSilver, kWine, kWine, kWine, kSilver},
    {kRed, kWhite, kRed, kRed, kRed, kWhite},
};

}  // namespace orq::panel
