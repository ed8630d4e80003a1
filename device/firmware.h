// The firmware update: the published image fetched into one static buffer, its version stamp,
// the rule that decides whether the device gets it, and the transfer. The device is flashed from
// whatever the server sent, so the download is strict: one exact-size image over a verified
// connection, or nothing. Worker thread (the pure functions serve any thread).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "device/transfer.h"
#include "state/shared_word.h"

namespace orq {

struct DeviceLink;

inline constexpr size_t kFirmwareImageSize = 131072;
inline constexpr size_t kFirmwareStampOffset = 131068;

using FirmwareImage = std::span<uint8_t, kFirmwareImageSize>;

// The one image buffer, shared by the download and the transfer.
FirmwareImage firmwareImage();

// Where the image is published: ORQ_FIRMWARE_URL from the environment when it is set (even
// empty, which turns the download off), else the build's ORQ_FIRMWARE_URL. Empty: no server.
std::string firmwareAddress();
std::string_view builtInFirmwareAddress();

// Addresses the download may use, the first one and every redirect: https to any host, plain
// http only to this machine (127.0.0.0/8, [::1], localhost) for tests and local mirrors. Each
// system's download takes the address apart with the parser its fetcher uses, and asks
// downloadPartsAllowed with the scheme and host (lower case; an IPv6 host in brackets).
bool downloadAddressAllowed(const std::string& address);
bool downloadPartsAllowed(std::string_view scheme, std::string_view host);

// Limits that keep the worker from hanging on the network. The defaults are what the editor
// uses; tests shorten them.
struct DownloadBounds {
  std::chrono::milliseconds connect{5000};  // name lookup and TCP/TLS connect
  std::chrono::milliseconds total{20000};   // the whole download, redirects included
  long lowSpeedBytes = 1024;                // slower than this ...
  std::chrono::seconds lowSpeedTime{5};     // ... for this long gives up
  int maxRedirects = 3;
};

enum class Download { Complete, Failed, Stopped };

// Whether this system's download refuses a redirect before the refused address is asked. libcurl:
// yes, redirects are followed by hand. URL monikers: no, urlmon follows them itself and the hop
// is refused when it is reported; the download fails and nothing the hop sends is used.
extern const bool kRedirectRefusedBeforeRequest;

// Fetches `address` into `buffer`. Complete only for HTTP 200 with a body of exactly the
// buffer's size; shorter or longer bodies, HTTP errors, refused addresses or redirects (another
// scheme, or a host the rule above refuses), TLS failures and the bounds give Failed. Nothing is
// ever written outside `buffer`. Stopped within about 10 ms of `stop` becoming non-zero. No
// cached copy is asked for. Does not zero the buffer.
Download downloadImage(const std::string& address, FirmwareImage buffer,
                       const Shared<uint8_t>& stop, const DownloadBounds& bounds = {});

// The image's version: little-endian 16 bits at kFirmwareStampOffset.
uint16_t firmwareStamp(std::span<const uint8_t, kFirmwareImageSize> image);

// Whether an image stamped `image` should replace firmware `device`. A stamp of 0x0000 or
// 0xFFFF (erased flash) marks no real image and is never newer.
bool firmwareIsNewer(uint16_t image, uint16_t device);
// A version as the panel shows it: "2.3.0" for 0x0203.
std::string firmwareVersionText(uint16_t version);

// Zeroes the buffer and fetches the published image into it; the buffer is zeroed again unless
// a whole image arrived, so a partial download can never be flashed.
Download downloadFirmwareImage(DeviceLink& link);

// The buffer to the device in 512 FIRMWARE_CHUNKs, each acknowledged, then the END_TRANSFER
// that commits it (target 0x10, size field 0xFFFF, "ORQ.bin"). As sendImage: progress in
// statusCode; a closed port or a missing ACK is Failed with linkState 3.
TransferResult transferFirmware(DeviceLink& link);

}  // namespace orq
