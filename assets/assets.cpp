// Accessors for the embedded pictures and masks. The blobs are the converter's output, linked
// in as read-only data by the assembler (orq_embed); each starts with its 6-byte header.
#include "assets/assets.h"

#include <cstdint>

#define ORQ_ASSET(name)                            \
  extern "C" const uint8_t orq_asset_##name[];     \
  extern "C" const uint8_t orq_asset_##name##_end[];

ORQ_ASSET(maker_logo)
ORQ_ASSET(word_mark)
ORQ_ASSET(arrow_left)
ORQ_ASSET(arrow_right)
ORQ_ASSET(midi_connector)
ORQ_ASSET(waveform)
ORQ_ASSET(folder)
ORQ_ASSET(plus)
ORQ_ASSET(plug)
ORQ_ASSET(lowpass_1)
ORQ_ASSET(lowpass_2)
ORQ_ASSET(lowpass_3)
ORQ_ASSET(device_0)
ORQ_ASSET(device_1)
ORQ_ASSET(device_2)
ORQ_ASSET(switch_dark_1)
ORQ_ASSET(switch_dark_2)
ORQ_ASSET(switch_light_1)
ORQ_ASSET(switch_light_2)
ORQ_ASSET(led_blue)
ORQ_ASSET(led_red)

#define ORQ_ASSET_DATA(name) \
  ImageData { orq_asset_##name, static_cast<size_t>(orq_asset_##name##_end - orq_asset_##name) }

namespace orq::assets {

ImageData makerLogo() { return ORQ_ASSET_DATA(maker_logo); }
ImageData wordMark() { return ORQ_ASSET_DATA(word_mark); }
ImageData leftArrow() { return ORQ_ASSET_DATA(arrow_left); }
ImageData rightArrow() { return ORQ_ASSET_DATA(arrow_right); }
ImageData midiConnector() { return ORQ_ASSET_DATA(midi_connector); }
ImageData waveform() { return ORQ_ASSET_DATA(waveform); }
ImageData folder() { return ORQ_ASSET_DATA(folder); }
ImageData plus() { return ORQ_ASSET_DATA(plus); }
ImageData plug() { return ORQ_ASSET_DATA(plug); }

ImageData lowpassCurve(int value) {
  switch (value) {
    case 2: return ORQ_ASSET_DATA(lowpass_2);
    case 3: return ORQ_ASSET_DATA(lowpass_3);
    default: return ORQ_ASSET_DATA(lowpass_1);
  }
}

ImageData devicePicture(int modelKind) {
  switch (modelKind) {
    case 1: return ORQ_ASSET_DATA(device_1);
    case 2: return ORQ_ASSET_DATA(device_2);
    default: return ORQ_ASSET_DATA(device_0);
  }
}

// Position 0 is the picture itself, so there is no overlay for it (nor for any other value).
ImageData switchOverlay(bool light, int position) {
  if (position == 1) return light ? ORQ_ASSET_DATA(switch_light_1) : ORQ_ASSET_DATA(switch_dark_1);
  if (position == 2) return light ? ORQ_ASSET_DATA(switch_light_2) : ORQ_ASSET_DATA(switch_dark_2);
  return {};
}

ImageData blueLedOverlay() { return ORQ_ASSET_DATA(led_blue); }
ImageData redLedOverlay() { return ORQ_ASSET_DATA(led_red); }

}  // namespace orq::assets
