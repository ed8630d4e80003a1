// Measurements on an IR for the catalogue tests: band energies from a zero-padded FFT, the
// spectral centroid, third-octave levels and the share of energy that arrives late.
#pragma once

#include <cmath>
#include <complex>
#include <vector>

#include "tools/irgen/dsp.h"

namespace orq::test {

// Power spectrum |X(k)|^2 of x zero-padded to 16384 points, bins 0..8192 (2.93 Hz apart).
class Spectrum {
 public:
  static constexpr size_t kSize = 16384;
  explicit Spectrum(const float* x, size_t count) : power_(kSize / 2 + 1) {
    std::vector<irgen::Complex> buf(kSize);
    for (size_t i = 0; i < count && i < kSize; ++i) buf[i] = x[i];
    irgen::fft(buf, false);
    for (size_t k = 0; k <= kSize / 2; ++k) power_[k] = std::norm(buf[k]);
  }
  double hzOf(size_t k) const { return irgen::binHz(k, kSize); }
  // Summed power of the bins in [loHz, hiHz).
  double band(double loHz, double hiHz) const {
    double e = 0;
    for (size_t k = 0; k < power_.size(); ++k) {
      const double hz = hzOf(k);
      if (hz >= loHz && hz < hiHz) e += power_[k];
    }
    return e;
  }
  // Mean power per bin in [loHz, hiHz), in dB.
  double densityDb(double loHz, double hiHz) const {
    double e = 0;
    int n = 0;
    for (size_t k = 0; k < power_.size(); ++k) {
      const double hz = hzOf(k);
      if (hz >= loHz && hz < hiHz) e += power_[k], ++n;
    }
    return 10.0 * std::log10(e / n + 1e-30);
  }
  // Power-weighted mean frequency over [loHz, hiHz).
  double centroid(double loHz, double hiHz) const {
    double e = 0, m = 0;
    for (size_t k = 0; k < power_.size(); ++k) {
      const double hz = hzOf(k);
      if (hz >= loHz && hz < hiHz) e += power_[k], m += power_[k] * hz;
    }
    return m / e;
  }
  // Third-octave levels (dB per bin, mean removed) from 63 Hz to 8 kHz: the tonal fingerprint.
  std::vector<double> thirdOctaves() const {
    std::vector<double> db;
    for (double f = 63.0; f <= 8000.0; f *= std::pow(2.0, 1.0 / 3.0)) {
      db.push_back(densityDb(f / std::pow(2.0, 1.0 / 6.0), f * std::pow(2.0, 1.0 / 6.0)));
    }
    double mean = 0;
    for (double v : db) mean += v;
    mean /= double(db.size());
    for (double& v : db) v -= mean;
    return db;
  }

 private:
  std::vector<double> power_;
};

// Share of the IR's energy that arrives after ms milliseconds.
inline double lateShare(const float* x, size_t count, double ms) {
  const size_t from = size_t(ms * 48.0);
  double all = 0, late = 0;
  for (size_t i = 0; i < count; ++i) {
    all += double(x[i]) * x[i];
    if (i >= from) late += double(x[i]) * x[i];
  }
  return late / all;
}

// Root-mean-square difference of two level curves, in dB.
inline double rmsDifference(const std::vector<double>& a, const std::vector<double>& b) {
  double s = 0;
  for (size_t i = 0; i < a.size(); ++i) s += (a[i] - b[i]) * (a[i] - b[i]);
  return std::sqrt(s / double(a.size()));
}

}  // namespace orq::test
