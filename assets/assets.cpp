// Accessors for the embedded pictures and masks. The blobs are the converter's output packed
// with zlib, linked in as read-only data by the assembler (orq_embed); each is unpacked on
// first use into its 6-byte header and pixels, and kept for the whole run.
#include "assets/assets.h"

#include <zlib.h>

#include <cstdint>
#include <mutex>
#include <vector>

namespace orq::assets {
namespace {
// One picture as it is used: unpacked the first time it is asked for, then kept for the run.
struct Unpacked {
  std::once_flag once;
  std::vector<uint8_t> bytes;
};
}  // namespace
}  // namespace orq::assets

#define ORQ_ASSET(name)                              \
  extern "C" const uint8_t orq_asset_##name[];       \
  extern "C" const uint8_t orq_asset_##name##_end[]; \
  namespace orq::assets {                            \
  namespace {                                        \
  Unpacked unpacked_##name;                          \
  }                                                  \
  }

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
ORQ_ASSET(icon_48)
ORQ_ASSET(icon_256)

namespace orq::assets {
namespace {

// Packed form (tools/pack): "RZ", the unpacked size (32-bit little-endian), one zlib stream.
// Anything that does not unpack to exactly that size gives no picture, which draws nothing.
std::vector<uint8_t> unpack(const uint8_t* begin, const uint8_t* end) {
  const auto packed = static_cast<size_t>(end - begin);
  if (packed < 6 || begin[0] != 'R' || begin[1] != 'Z') return {};
  const uLongf size =
      uLongf{begin[2]} | uLongf{begin[3]} << 8 | uLongf{begin[4]} << 16 | uLongf{begin[5]} << 24;
  std::vector<uint8_t> out(size);
  uLongf got = size;
  if (uncompress(out.data(), &got, begin + 6, packed - 6) != Z_OK || got != size) return {};
  return out;
}

ImageData load(const uint8_t* begin, const uint8_t* end, Unpacked& u) {
  std::call_once(u.once, [&] { u.bytes = unpack(begin, end); });
  if (u.bytes.empty()) return {};
  return {u.bytes.data(), u.bytes.size()};
}

}  // namespace

#define ORQ_ASSET_DATA(name) load(orq_asset_##name, orq_asset_##name##_end, unpacked_##name)

ImageData makerLogo() {
  return ORQ_ASSET_DATA(maker_logo);
}
ImageData wordMark() {
  return ORQ_ASSET_DATA(word_mark);
}
ImageData leftArrow() {
  return ORQ_ASSET_DATA(arrow_left);
}
ImageData rightArrow() {
  return ORQ_ASSET_DATA(arrow_right);
}
ImageData midiConnector() {
  return ORQ_ASSET_DATA(midi_connector);
}
ImageData waveform() {
  return ORQ_ASSET_DATA(waveform);
}
ImageData folder() {
  return ORQ_ASSET_DATA(folder);
}
ImageData plus() {
  return ORQ_ASSET_DATA(plus);
}
ImageData plug() {
  return ORQ_ASSET_DATA(plug);
}

ImageData lowpassCurve(int value) {
  switch (value) {
    case 2:
      return ORQ_ASSET_DATA(lowpass_2);
    case 3:
      return ORQ_ASSET_DATA(lowpass_3);
    default:
      return ORQ_ASSET_DATA(lowpass_1);
  }
}

ImageData devicePicture(int modelKind) {
  switch (modelKind) {
    case 1:
      return ORQ_ASSET_DATA(device_1);
    case 2:
      return ORQ_ASSET_DATA(device_2);
    default:
      return ORQ_ASSET_DATA(device_0);
  }
}

// Position 0 is the picture itself, so there is no overlay for it (nor for any other value).
ImageData switchOverlay(bool light, int position) {
  if (position == 1) return light ? ORQ_ASSET_DATA(switch_light_1) : ORQ_ASSET_DATA(switch_dark_1);
  if (position == 2) return light ? ORQ_ASSET_DATA(switch_light_2) : ORQ_ASSET_DATA(switch_dark_2);
  return {};
}

ImageData blueLedOverlay() {
  return ORQ_ASSET_DATA(led_blue);
}
ImageData redLedOverlay() {
  return ORQ_ASSET_DATA(led_red);
}
ImageData appIcon(int size) {
  return size <= 48 ? ORQ_ASSET_DATA(icon_48) : ORQ_ASSET_DATA(icon_256);
}

}  // namespace orq::assets
