#include "ir/ir_file.h"

#include <cstring>
#include <new>

namespace orq {
namespace {

void put16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

void put32(uint8_t* p, uint32_t v) {
  put16(p, v);
  put16(p + 2, v >> 16);
}

// Cuts `s` at the last occurrence of `suffix`, when the string is at least that long.
void cutAtLast(std::string& s, const char* suffix) {
  const size_t n = std::strlen(suffix);
  if (s.size() < n) return;
  const size_t at = s.rfind(suffix);
  if (at != std::string::npos) s.resize(at);
}

}  // namespace

bool encodeIrFile(const float* samples, uint32_t count, std::vector<uint8_t>& out) {
  out.clear();
  const uint64_t dataBytes = uint64_t{count} * 4;
  if (36 + dataBytes > 0xFFFFFFFFu || (count > 0 && samples == nullptr)) return false;
  try {
    out.resize(kIrHeaderBytes + dataBytes);
  } catch (const std::bad_alloc&) {
    out.clear();
    return false;
  }
  uint8_t* p = out.data();
  std::memcpy(p, "RIFF", 4);
  put32(p + 4, static_cast<uint32_t>(36 + dataBytes));
  std::memcpy(p + 8, "WAVEfmt ", 8);
  put32(p + 16, 16);      // format chunk size
  put16(p + 20, 3);       // IEEE float
  put16(p + 22, 1);       // mono
  put32(p + 24, 48000);   // sample rate
  put32(p + 28, 192000);  // bytes per second
  put16(p + 32, 4);       // block align
  put16(p + 34, 32);      // bits per sample
  std::memcpy(p + 36, "data", 4);
  put32(p + 40, static_cast<uint32_t>(dataBytes));
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t bits;
    std::memcpy(&bits, &samples[i], 4);
    put32(p + kIrHeaderBytes + 4 * size_t{i}, bits);
  }
  return true;
}

std::string deviceIrName(const std::wstring& name) {
  std::string s;
  s.reserve(name.size());
  for (wchar_t wc : name) {
    const auto c = static_cast<uint32_t>(wc);
    if (c < 0x20 || c > 0x7E) {
      s += '?';
    } else {
      s += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : static_cast<char>(c);
    }
  }
  const size_t dot = s.rfind('.');
  if (dot != std::string::npos) s.resize(dot);
  cutAtLast(s, ".WAVE");
  cutAtLast(s, ".WAV");
  if (s.size() > 64) s.resize(64);
  if (s.empty()) s = kUnnamedIr;
  return s;
}

}  // namespace orq
