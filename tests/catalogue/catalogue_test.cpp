// The factory IR catalogue: every entry's shape (names, texts, blob layout, levels), that the
// embedded blobs are what the generator makes, and that the IRs are distinct and sound like the
// cabinets their descriptions promise.
#include "ir/catalogue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>
#include <string>

#include "tests/catalogue/ir_metrics.h"
#include "tools/irgen/voicings.h"

namespace orq {
namespace {

constexpr uint32_t kCounts[kFactoryIrCount] = {4096, 4096, 2396, 4096, 4096, 4096,
                                               4096, 4096, 4096, 4096, 4096, 4096,
                                               4096, 9984, 9984, 9984, 9984, 9984};
constexpr int kFirstLong = 13;

IrSamples samplesOf(int i) {
  return blobSamples(factoryIr(i).blob);
}

double peakOf(const IrSamples& s) {
  double p = 0;
  for (uint32_t i = 0; i < s.count; ++i) p = std::max(p, double(std::fabs(s.data[i])));
  return p;
}

TEST(Catalogue, EveryEntryHasItsShape) {
  std::set<std::wstring> names;
  for (int i = 0; i < kFactoryIrCount; ++i) {
    SCOPED_TRACE(i);
    const FactoryIr& ir = factoryIr(i);
    const std::wstring name = ir.name;
    EXPECT_GE(name.size(), 3u);
    EXPECT_LE(name.size(), 21u);
    for (wchar_t c : name) {
      EXPECT_TRUE((c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L' ' || c == L'+' ||
                  c == L'-')
          << "character " << int(c);
    }
    EXPECT_NE(name.front(), L' ');  // becomes a file name: no leading or trailing space
    EXPECT_NE(name.back(), L' ');
    EXPECT_TRUE(names.insert(name).second) << "two entries share a name (and a file name)";

    const std::wstring text = ir.description;
    EXPECT_GE(text.size(), 202u);
    EXPECT_LE(text.size(), 423u);
    for (wchar_t c : text) EXPECT_TRUE(c >= 0x20 && c < 0x7F) << "character " << int(c);

    const uint8_t* blob = ir.blob;
    ASSERT_NE(blob, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(blob) % 4, 0u);
    EXPECT_EQ(blob[0], 'R');
    EXPECT_EQ(blob[1], 'W');
    EXPECT_EQ(uint32_t(blob[2] | blob[3] << 8), 4 * kCounts[i]);

    const IrSamples s = blobSamples(blob);
    ASSERT_EQ(s.count, kCounts[i]);
    ASSERT_EQ(reinterpret_cast<const uint8_t*>(s.data), blob + 4);
    for (uint32_t k = 0; k < s.count; ++k) ASSERT_TRUE(std::isfinite(s.data[k])) << k;
    EXPECT_GT(std::fabs(s.data[0]), 0.01f) << "the IR starts at the impulse";
    const double peak = peakOf(s);
    EXPECT_GE(peak, 0.54);
    EXPECT_LE(peak, 0.99);
    // Faded out: the last sample is silent and the final 1% is far below the peak.
    EXPECT_LT(std::fabs(s.data[s.count - 1]), 1e-6);
    for (uint32_t k = s.count - s.count / 100; k < s.count; ++k) {
      ASSERT_LT(std::fabs(s.data[k]), 0.01 * peak) << k;
    }
  }
}

TEST(Catalogue, LongEntriesShareOnePeakLevel) {
  const double first = peakOf(samplesOf(kFirstLong));
  for (int i = kFirstLong + 1; i < kFactoryIrCount; ++i) {
    EXPECT_NEAR(peakOf(samplesOf(i)), first, 1e-6) << i;
  }
}

TEST(Catalogue, BlobSamplesRefusesMalformedBlobs) {
  alignas(16) uint8_t buf[20] = {'R', 'W', 8, 0};
  struct Case {
    const char* what;
    const uint8_t* blob;
    uint8_t b0, b1, lenLo, lenHi;
    uint32_t wantCount;
  };
  const Case cases[] = {
      {"two samples", buf, 'R', 'W', 8, 0, 2},
      {"no samples", buf, 'R', 'W', 0, 0, 0},
      {"null", nullptr, 0, 0, 0, 0, 0},
      {"wrong magic", buf, 'R', 'I', 8, 0, 0},
      {"length not whole samples", buf, 'R', 'W', 6, 0, 0},
      {"misaligned", buf + 2, 'R', 'W', 4, 0, 0},
  };
  for (const Case& c : cases) {
    if (c.blob) {
      uint8_t* b = const_cast<uint8_t*>(c.blob);
      b[0] = c.b0, b[1] = c.b1, b[2] = c.lenLo, b[3] = c.lenHi;
    }
    const IrSamples s = blobSamples(c.blob);
    EXPECT_EQ(s.count, c.wantCount) << c.what;
    if (c.wantCount == 0 && c.blob != buf) {
      EXPECT_EQ(s.data, nullptr) << c.what;
    }
  }
}

// The embedded data is exactly the generator's output: the build really ran it, and the model
// gives the same IRs however often it runs.
TEST(Catalogue, EmbeddedBlobsAreTheGeneratorsOutput) {
  const std::vector<irgen::Voicing> voicings = irgen::factoryVoicings();
  ASSERT_EQ(int(voicings.size()), kFactoryIrCount);
  for (int i = 0; i < kFactoryIrCount; ++i) {
    const std::vector<float> made = irgen::renderIr(voicings[i]);
    const IrSamples s = samplesOf(i);
    ASSERT_EQ(made.size(), s.count) << i;
    EXPECT_EQ(std::memcmp(made.data(), s.data, 4 * s.count), 0) << i;
  }
}

// Cabinet-like: the cone resonance carries more than the sub-bass, the top falls away above
// the break-up region, and almost nothing is left above 10 kHz.
TEST(Catalogue, EveryEntrySoundsLikeACabinet) {
  for (int i = 0; i < kFactoryIrCount; ++i) {
    SCOPED_TRACE(i);
    const IrSamples s = samplesOf(i);
    const test::Spectrum sp(s.data, s.count);
    const double presence = sp.densityDb(1000, 4000);
    EXPECT_LT(sp.densityDb(10000, 24000), presence - 30);
    EXPECT_LT(sp.densityDb(8000, 9000), presence - 12);
    EXPECT_LT(sp.densityDb(25, 40), sp.densityDb(80, 200) - 6);
    // The loudest third octave lies between the resonance and the break-up region.
    const std::vector<double> thirds = sp.thirdOctaves();  // 63 Hz .. 8 kHz
    const size_t loudest = size_t(std::max_element(thirds.begin(), thirds.end()) - thirds.begin());
    const double loudestHz = 63.0 * std::pow(2.0, double(loudest) / 3.0);
    EXPECT_GE(loudestHz, 70.0);
    EXPECT_LE(loudestHz, 5000.0);
  }
}

TEST(Catalogue, LongEntriesCarryTheRoom) {
  double shortMost = 0, longLeast = 1;
  for (int i = 0; i < kFactoryIrCount; ++i) {
    const IrSamples s = samplesOf(i);
    const double late = test::lateShare(s.data, s.count, 25.0);
    (i < kFirstLong ? shortMost : longLeast) =
        i < kFirstLong ? std::max(shortMost, late) : std::min(longLeast, late);
  }
  EXPECT_GT(longLeast, 20 * shortMost);
  EXPECT_GT(longLeast, 0.002);
}

// No two entries are near copies: each pair differs in tone (third-octave levels) or in how
// much arrives late (room).
TEST(Catalogue, EntriesDifferFromOneAnother) {
  std::vector<std::vector<double>> prints;
  for (int i = 0; i < kFactoryIrCount; ++i) {
    const IrSamples s = samplesOf(i);
    std::vector<double> p = test::Spectrum(s.data, s.count).thirdOctaves();
    p.push_back(3.0 * std::log10(test::lateShare(s.data, s.count, 10.0) + 1e-6));
    prints.push_back(p);
  }
  for (int i = 0; i < kFactoryIrCount; ++i) {
    for (int j = i + 1; j < kFactoryIrCount; ++j) {
      EXPECT_GT(test::rmsDifference(prints[i], prints[j]), 1.0) << i << " and " << j;
    }
  }
}

// What the descriptions promise, compared between entries.
TEST(Catalogue, EntriesKeepTheirDescribedCharacter) {
  auto spectrum = [](int i) {
    const IrSamples s = samplesOf(i);
    return test::Spectrum(s.data, s.count);
  };
  // Open backs lose low end against the midrange; closed backs keep it.
  const int openBacks[] = {2, 3, 6, 8, 12, 14, 16, 17};
  const int closedBacks[] = {0, 1, 4, 5, 7, 9, 10, 11, 13, 15};
  auto lowToMid = [&](int i) {
    const test::Spectrum sp = spectrum(i);
    return sp.densityDb(60, 150) - sp.densityDb(500, 2000);
  };
  double openMost = -1e9, closedLeast = 1e9;
  for (int i : openBacks) openMost = std::max(openMost, lowToMid(i));
  for (int i : closedBacks) closedLeast = std::min(closedLeast, lowToMid(i));
  EXPECT_LT(openMost, closedLeast - 3) << "open-back entries must have less low end";

  // Brighter placements against darker ones (centroid over 200 Hz .. 8 kHz).
  struct Pair {
    const char* what;
    int brighter, darker;
  };
  const Pair pairs[] = {
      {"dynamic alone vs blended with a ribbon", 0, 1},
      {"cap on axis vs ribbon off axis", 5, 4},
      {"open 1x12 on the cap vs 1x15", 3, 10},
      {"4x10 condenser vs heavy 4x12 ribbon", 6, 4},
      {"cap vs mid-cone", 5, 7},
  };
  for (const Pair& p : pairs) {
    EXPECT_GT(spectrum(p.brighter).centroid(200, 8000),
              spectrum(p.darker).centroid(200, 8000) + 150)
        << p.what;
  }

  // The 1x15 resonates lowest: its bass peak sits below every other closed box's.
  auto bassPeakHz = [&](int i) {
    const test::Spectrum sp = spectrum(i);
    double best = -1e9, at = 0;
    for (double f = 60; f < 200; f *= 1.05) {
      const double db = sp.densityDb(f / 1.03, f * 1.03);
      if (db > best) best = db, at = f;
    }
    return at;
  };
  for (int i : closedBacks) {
    if (i != 10) {
      EXPECT_LT(bassPeakHz(10), bassPeakHz(i)) << i;
    }
  }

  // The hall has the most late sound, the damped booth the least of the room entries.
  auto late = [](int i) {
    const IrSamples s = samplesOf(i);
    return test::lateShare(s.data, s.count, 40.0);
  };
  for (int i = kFirstLong; i < kFactoryIrCount; ++i) {
    if (i != 16) {
      EXPECT_GT(late(16), late(i)) << i;
    }
    if (i != 17) {
      EXPECT_LT(late(17), late(i)) << i;
    }
  }
}

}  // namespace
}  // namespace orq
