// Small signal tools for the factory IR generator: a radix-2 FFT, minimum-phase spectra from a
// magnitude curve (real cepstrum), closed-form filter responses and a seeded random source.
// Everything is plain double arithmetic with fixed seeds, so a build makes the same IRs anywhere.
#pragma once

#include <complex>
#include <cstdint>
#include <vector>

namespace orq::irgen {

using Complex = std::complex<double>;

inline constexpr double kSampleRate = 48000.0;
inline constexpr double kPi = 3.14159265358979323846;

// In-place FFT; the size must be a power of two. The inverse is scaled by 1/N.
void fft(std::vector<Complex>& x, bool inverse);

// Minimum-phase spectrum (all N bins, Hermitian) whose magnitude is exp(logMag). logMag holds
// the natural-log magnitude of bins 0..N/2, so N = 2 * (logMag.size() - 1).
std::vector<Complex> minimumPhase(const std::vector<double>& logMag);

// Frequency of bin k on an N-point grid, and the angular frequency (radians per sample) of f.
inline double binHz(size_t k, size_t n) {
  return kSampleRate * double(k) / double(n);
}
inline double omega(double hz) {
  return 2.0 * kPi * hz / kSampleRate;
}

// Response of one biquad (b0 b1 b2 / 1 a1 a2) at angular frequency w.
struct Biquad {
  double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
  Complex at(double w) const;
  double gainDb(double hz) const;
};

// Audio-EQ-cookbook designs at 48 kHz.
Biquad peaking(double hz, double q, double db);
Biquad lowShelf(double hz, double db);   // shelf slope 1
Biquad highShelf(double hz, double db);  // shelf slope 1
Biquad lowPass(double hz, double q);
Biquad highPass(double hz, double q);

// Gain in dB of an order-n Butterworth low-pass (n even) built from cookbook sections.
double butterworthLowPassDb(double hz, double cutoffHz, int order);

// Causal one-pole low-pass (unity at DC) at angular frequency w.
Complex onePole(double cutoffHz, double w);

// splitmix64: tiny, seeded, identical on every machine.
class Rng {
 public:
  explicit Rng(uint64_t seed) : state_(seed) {}
  uint64_t next();
  double uniform();   // [0, 1)
  double gaussian();  // mean 0, deviation 1 (Box-Muller)

 private:
  uint64_t state_;
};

}  // namespace orq::irgen
