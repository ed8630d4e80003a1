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

// A dotted-quad IPv4 literal as inet_pton reads one: four decimal numbers up to 255, no leading
// zeros; its first number in `first`.
bool ipv4Literal(std::string_view host, int& first) {
  int parts = 0;
  size_t i = 0;
  while (i <= host.size()) {
    size_t j = i;
    int value = 0;
    while (j < host.size() && host[j] >= '0' && host[j] <= '9' && j - i < 3) {
      value = value * 10 + (host[j] - '0');
      ++j;
    }
    if (j == i || value > 255 || (j - i > 1 && host[i] == '0')) return false;
    if (parts == 0) first = value;
    ++parts;
    if (j == host.size()) break;
    if (host[j] != '.' || parts == 4) return false;
    i = j + 1;
  }
  return parts == 4;
}

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

bool downloadPartsAllowed(std::string_view scheme, std::string_view host) {
  if (host.empty()) return false;
  if (scheme == "https") return true;
  if (scheme != "http") return false;
  if (host == "localhost" || host == "[::1]") return true;
  // A literal only: "127.0.0.1.example.com" is a name anyone may point anywhere.
  int first = -1;
  return ipv4Literal(host, first) && first == 127;
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
