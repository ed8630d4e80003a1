// Signal tools of the IR generator; see dsp.h.
#include "tools/irgen/dsp.h"

#include <algorithm>
#include <cassert>
#include <cmath>

namespace orq::irgen {

void fft(std::vector<Complex>& x, bool inverse) {
  const size_t n = x.size();
  assert(n >= 2 && (n & (n - 1)) == 0 && "fft size must be a power of two");
  for (size_t i = 1, j = 0; i < n; ++i) {
    size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(x[i], x[j]);
  }
  for (size_t len = 2; len <= n; len <<= 1) {
    const double angle = (inverse ? 2.0 : -2.0) * kPi / double(len);
    const size_t half = len / 2;
    for (size_t k = 0; k < half; ++k) {
      // Twiddles computed directly rather than by repeated multiplication, which drifts.
      const Complex w(std::cos(angle * double(k)), std::sin(angle * double(k)));
      for (size_t i = k; i < n; i += len) {
        const Complex u = x[i];
        const Complex v = x[i + half] * w;
        x[i] = u + v;
        x[i + half] = u - v;
      }
    }
  }
  if (inverse) {
    const double scale = 1.0 / double(n);
    for (Complex& v : x) v *= scale;
  }
}

std::vector<Complex> minimumPhase(const std::vector<double>& logMag) {
  const size_t half = logMag.size() - 1;
  const size_t n = 2 * half;
  std::vector<Complex> c(n);
  for (size_t k = 0; k <= half; ++k) c[k] = logMag[k];
  for (size_t k = 1; k < half; ++k) c[n - k] = logMag[k];
  fft(c, true);  // real cepstrum
  // Fold the cepstrum onto positive quefrencies: its exponential is then causal.
  for (size_t k = 1; k < half; ++k) c[k] = 2.0 * c[k].real();
  c[0] = c[0].real();
  c[half] = c[half].real();
  for (size_t k = half + 1; k < n; ++k) c[k] = 0.0;
  fft(c, false);
  for (Complex& v : c) v = std::exp(v);
  return c;
}

Complex Biquad::at(double w) const {
  const Complex z1 = std::polar(1.0, -w);
  const Complex z2 = z1 * z1;
  return (b0 + b1 * z1 + b2 * z2) / (1.0 + a1 * z1 + a2 * z2);
}

double Biquad::gainDb(double hz) const {
  return 20.0 * std::log10(std::max(std::abs(at(omega(hz))), 1e-12));
}

namespace {
Biquad normalised(double b0, double b1, double b2, double a0, double a1, double a2) {
  return {b0 / a0, b1 / a0, b2 / a0, a1 / a0, a2 / a0};
}
}  // namespace

Biquad peaking(double hz, double q, double db) {
  const double a = std::pow(10.0, db / 40.0);
  const double w = omega(hz);
  const double alpha = std::sin(w) / (2.0 * q);
  const double c = std::cos(w);
  return normalised(1 + alpha * a, -2 * c, 1 - alpha * a, 1 + alpha / a, -2 * c, 1 - alpha / a);
}

Biquad lowShelf(double hz, double db) {
  const double a = std::pow(10.0, db / 40.0);
  const double w = omega(hz);
  const double c = std::cos(w);
  const double alpha = std::sin(w) / 2.0 * std::sqrt(2.0);
  const double s = 2.0 * std::sqrt(a) * alpha;
  return normalised(a * ((a + 1) - (a - 1) * c + s), 2 * a * ((a - 1) - (a + 1) * c),
                    a * ((a + 1) - (a - 1) * c - s), (a + 1) + (a - 1) * c + s,
                    -2 * ((a - 1) + (a + 1) * c), (a + 1) + (a - 1) * c - s);
}

Biquad highShelf(double hz, double db) {
  const double a = std::pow(10.0, db / 40.0);
  const double w = omega(hz);
  const double c = std::cos(w);
  const double alpha = std::sin(w) / 2.0 * std::sqrt(2.0);
  const double s = 2.0 * std::sqrt(a) * alpha;
  return normalised(a * ((a + 1) + (a - 1) * c + s), -2 * a * ((a - 1) + (a + 1) * c),
                    a * ((a + 1) + (a - 1) * c - s), (a + 1) - (a - 1) * c + s,
                    2 * ((a - 1) - (a + 1) * c), (a + 1) - (a - 1) * c - s);
}

Biquad lowPass(double hz, double q) {
  const double w = omega(hz);
  const double alpha = std::sin(w) / (2.0 * q);
  const double c = std::cos(w);
  return normalised((1 - c) / 2, 1 - c, (1 - c) / 2, 1 + alpha, -2 * c, 1 - alpha);
}

Biquad highPass(double hz, double q) {
  const double w = omega(hz);
  const double alpha = std::sin(w) / (2.0 * q);
  const double c = std::cos(w);
  return normalised((1 + c) / 2, -(1 + c), (1 + c) / 2, 1 + alpha, -2 * c, 1 - alpha);
}

double butterworthLowPassDb(double hz, double cutoffHz, int order) {
  assert(order >= 2 && order % 2 == 0 && "even Butterworth orders only");
  double db = 0.0;
  const int sections = order / 2;
  for (int k = 0; k < sections; ++k) {
    const double q = 1.0 / (2.0 * std::cos(kPi * (2.0 * k + 1.0) / (4.0 * sections)));
    db += lowPass(cutoffHz, q).gainDb(hz);
  }
  return db;
}

Complex onePole(double cutoffHz, double w) {
  const double a = std::exp(-2.0 * kPi * cutoffHz / kSampleRate);
  return (1.0 - a) / (1.0 - a * std::polar(1.0, -w));
}

uint64_t Rng::next() {
  uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

double Rng::uniform() {
  return double(next() >> 11) * (1.0 / 9007199254740992.0);
}

double Rng::gaussian() {
  const double u1 = 1.0 - uniform();  // (0, 1]: keeps log finite
  const double u2 = uniform();
  return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * kPi * u2);
}

}  // namespace orq::irgen
