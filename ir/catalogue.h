// The 18 factory cabinet IRs carried inside the program: names, descriptions and samples.
// The samples are modelled by a generator of ours at build time and embedded as "RW" blobs.
#pragma once

#include <cstdint>

namespace orq {

inline constexpr int kFactoryIrCount = 18;

struct FactoryIr {
  const wchar_t* name;         // 3..21 chars: A-Z, 0-9, space, '+', '-'
  const wchar_t* description;  // one paragraph, 202..423 chars
  const uint8_t* blob;         // "RW" blob, 4-byte aligned, lives for the whole run
};

// index 0..17
const FactoryIr& factoryIr(int index);

// Samples of an "RW" blob: 32-bit float, mono, 48 kHz. A null or malformed blob gives
// {nullptr, 0}.
struct IrSamples {
  const float* data;
  uint32_t count;
};
IrSamples blobSamples(const uint8_t* blob);

}  // namespace orq
