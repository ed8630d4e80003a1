// What the download tests share: a firmware image with a given version stamp, and a download
// into a buffer followed by guard bytes.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "device/device_link.h"
#include "device/firmware.h"

namespace orq_test {

// kFirmwareImageSize bytes of a fixed pattern, with `stamp` at the stamp's offset.
inline std::string imageBytes(uint16_t stamp) {
  std::string image(orq::kFirmwareImageSize, '\0');
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i * 7 + i / 256);
  image[orq::kFirmwareStampOffset] = static_cast<char>(stamp & 0xFF);
  image[orq::kFirmwareStampOffset + 1] = static_cast<char>(stamp >> 8);
  return image;
}

struct Fetched {
  orq::Download result;
  std::string image;  // what landed in the buffer
  std::chrono::steady_clock::duration took;
};

// Downloads into a buffer followed by guard bytes, and fails the test if any guard byte moved.
inline Fetched fetch(const std::string& url, const orq::DownloadBounds& bounds = {}) {
  constexpr size_t kGuard = 4096;
  constexpr uint8_t kGuardByte = 0xA5;
  std::vector<uint8_t> area(orq::kFirmwareImageSize + kGuard, kGuardByte);
  orq::Shared<uint8_t> stop{0};
  const auto t0 = std::chrono::steady_clock::now();
  const orq::Download d = orq::downloadImage(
      url, orq::FirmwareImage(area.data(), orq::kFirmwareImageSize), stop, bounds);
  const auto took = std::chrono::steady_clock::now() - t0;
  EXPECT_TRUE(std::all_of(area.begin() + orq::kFirmwareImageSize, area.end(),
                          [](uint8_t b) { return b == kGuardByte; }))
      << "written past the image buffer";
  return {d, std::string(area.begin(), area.begin() + orq::kFirmwareImageSize), took};
}

}  // namespace orq_test
