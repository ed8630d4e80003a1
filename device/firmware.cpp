// The firmware update's portable part: the image buffer, the published address, the stamp and
// decision, and the transfer. The download itself is per system: download_curl.cpp (libcurl),
// download_urlmon.cpp (Windows' URL monikers).
#include "device/firmware.h"

#include <algorithm>
#include <cstdlib>

#include "device/device_link.h"
#include "device/protocol.h"

#ifndef ORQ_FIRMWARE_URL
#define ORQ_FIRMWARE_URL ""
#endif

namespace orq {
namespace {

alignas(64) uint8_t gImage[kFirmwareImageSize];

}  // namespace

FirmwareImage firmwareImage() {
  return FirmwareImage(gImage, kFirmwareImageSize);
}

std::string_view builtInFirmwareAddress() {
  return ORQ_FIRMWARE_URL;
}

std::string firmwareAddress() {
  if (const char* env = std::getenv("ORQ_FIRMWARE_URL")) return env;
  return std::string(builtInFirmwareAddress());
}

uint16_t firmwareStamp(std::span<const uint8_t, kFirmwareImageSize> image) {
  return static_cast<uint16_t>(image[kFirmwareStampOffset] | image[kFirmwareStampOffset + 1] << 8);
}

std::string firmwareVersionText(uint16_t v) {
  return std::to_string(v >> 8) + "." + std::to_string(v & 0xFF) + ".0";
}

bool firmwareIsNewer(uint16_t image, uint16_t device) {
  return image != 0x0000 && image != 0xFFFF && image > device;
}

Download downloadFirmwareImage(DeviceLink& link) {
  const FirmwareImage image = firmwareImage();
  std::fill(image.begin(), image.end(), 0);
  const Download d = downloadImage(firmwareAddress(), image, link.stopRequested);
  if (d != Download::Complete) std::fill(image.begin(), image.end(), 0);
  return d;
}

TransferResult transferFirmware(DeviceLink& link) {
  const FirmwareImage image = firmwareImage();
  return sendImage(link, ChunkKind::Firmware, image.data(), image.size(),
                   buildEndTransfer(kFirmwareTarget, kFirmwareSizeField, kFirmwareName));
}

}  // namespace orq
