// Renders a voicing into an impulse response; see cab_model.h. Section index:
//   magnitude curves (cabinet, microphone, cone ripple) -> minimum-phase spectra
//   close-mic sum (reflections, second mic) -> room (early reflections, diffuse tail)
//   trim, fade-out, normalise
#include "tools/irgen/cab_model.h"

#include <algorithm>
#include <cassert>
#include <cmath>

#include "tools/irgen/dsp.h"

namespace orq::irgen {
namespace {

constexpr size_t kFftSize = 32768;  // 683 ms: room for the longest tail without wrap-around
constexpr size_t kHalf = kFftSize / 2;
constexpr double kFloorDb = -65.0;  // keeps the log finite where the curve falls away

// Smooth random deviation in dB over log frequency: the cone's own peaks and dips above 1 kHz.
class ConeRipple {
 public:
  ConeRipple(double db, uint64_t seed) {
    Rng rng(seed);
    for (double& n : nodes_) n = db * rng.gaussian();
  }
  double at(double hz) const {
    if (hz <= kLowHz) return 0.0;
    const double pos = std::log2(hz / kLowHz) * kPerOctave;
    const size_t i = std::min(size_t(pos), kNodes - 2);
    const double t = std::min(pos - double(i), 1.0);
    const double s = 0.5 - 0.5 * std::cos(kPi * t);
    const double ramp = std::min(1.0, std::log2(hz / kLowHz));  // fades in over one octave
    return ramp * (nodes_[i] * (1.0 - s) + nodes_[i + 1] * s);
  }

 private:
  static constexpr double kLowHz = 700.0;
  static constexpr double kPerOctave = 6.0;
  static constexpr size_t kNodes = 40;  // 700 Hz to beyond Nyquist
  double nodes_[kNodes];
};

double cabinetDb(const Cabinet& c, const ConeRipple& ripple, double hz) {
  double db = peaking(c.resonanceHz, c.resonanceQ, c.resonanceDb).gainDb(hz);
  db += highPass(c.lowCutHz, c.lowCutQ).gainDb(hz);
  if (c.openBackHz > 0) {
    // Rear-wave cancellation: a further 6 dB per octave below openBackHz.
    const double r = hz / c.openBackHz;
    db += 10.0 * std::log10(r * r / (1.0 + r * r));
  }
  for (const Band& b : c.shape) {
    if (b.db != 0) db += peaking(b.hz, b.q, b.db).gainDb(hz);
  }
  db += butterworthLowPassDb(hz, c.rolloffHz, c.rolloffOrder);
  return db + ripple.at(hz);
}

double micDb(const Mic& m, double hz) {
  double db = 0;
  if (m.proximityDb != 0) db += lowShelf(180.0, m.proximityDb).gainDb(hz);
  if (m.presence.db != 0) db += peaking(m.presence.hz, m.presence.q, m.presence.db).gainDb(hz);
  if (m.axisDb != 0) db += highShelf(m.axisHz, m.axisDb).gainDb(hz);
  if (m.topHz > 0) db += butterworthLowPassDb(hz, m.topHz, 2);
  return db;
}

// Minimum-phase spectrum of the cabinet heard through one microphone.
std::vector<Complex> heard(const Cabinet& c, const Mic& m) {
  const ConeRipple ripple(c.rippleDb * m.detail, c.seed);
  std::vector<double> db(kHalf + 1);
  for (size_t k = 0; k <= kHalf; ++k) {
    // DC has no defined log gain; the first bin's value stands in for it.
    const double hz = std::max(binHz(k, kFftSize), binHz(1, kFftSize));
    db[k] = cabinetDb(c, ripple, hz) + micDb(m, hz);
  }
  const double top = *std::max_element(db.begin(), db.end());
  std::vector<double> logMag(kHalf + 1);
  for (size_t k = 0; k <= kHalf; ++k) {
    // Soft floor: a smooth maximum of the curve and the floor, no corner in the spectrum.
    const double rel = db[k] - top;
    const double floored =
        10.0 * std::log10(std::pow(10.0, rel / 10.0) + std::pow(10.0, kFloorDb / 10.0));
    logMag[k] = floored * std::log(10.0) / 20.0;
  }
  return minimumPhase(logMag);
}

// H * gain * one-pole low-pass * delay, added into sum (bins 0..N/2).
void addDelayed(std::vector<Complex>& sum, const std::vector<Complex>& h, double delayMs,
                double gain, double lowPassHz) {
  const double delay = delayMs * 1e-3 * kSampleRate;
  for (size_t k = 0; k <= kHalf; ++k) {
    const double w = 2.0 * kPi * double(k) / double(kFftSize);
    sum[k] += gain * h[k] * onePole(lowPassHz, w) * std::polar(1.0, -w * delay);
  }
}

// Real signal from bins 0..N/2.
std::vector<double> toTime(std::vector<Complex> spectrum) {
  spectrum.resize(kFftSize);
  spectrum[0] = spectrum[0].real();
  spectrum[kHalf] = spectrum[kHalf].real();
  for (size_t k = 1; k < kHalf; ++k) spectrum[kFftSize - k] = std::conj(spectrum[k]);
  fft(spectrum, true);
  std::vector<double> out(kFftSize);
  for (size_t i = 0; i < kFftSize; ++i) out[i] = spectrum[i].real();
  return out;
}

double energy(const std::vector<double>& x, size_t count) {
  double e = 0;
  for (size_t i = 0; i < count; ++i) e += x[i] * x[i];
  return e;
}

// Decaying noise, bright part dying faster than the dark part, rising after the pre-delay.
std::vector<double> diffuseTail(const Room& r, uint64_t seed) {
  Rng rng(seed);
  std::vector<double> tail(kFftSize, 0.0);
  const double start = r.preDelayMs * 1e-3 * kSampleRate;
  const double build = std::max(r.buildMs, 0.1) * 1e-3 * kSampleRate;
  const double a = std::exp(-2.0 * kPi * 1500.0 / kSampleRate);  // band split
  double low = 0;
  // 60 dB of decay per reverberation time: amplitude exp(-6.91 t / rt).
  const double kLow = 6.9078 / (r.rtLowMs * 1e-3 * kSampleRate);
  const double kHigh = 6.9078 / (r.rtHighMs * 1e-3 * kSampleRate);
  for (size_t i = 0; i < kFftSize / 2; ++i) {
    const double n = rng.gaussian();
    low = (1.0 - a) * n + a * low;
    const double t = double(i) - start;
    if (t < 0) continue;
    const double rise = 1.0 - std::exp(-t / build);
    tail[i] = rise * (low * std::exp(-kLow * t) + (n - low) * std::exp(-kHigh * t));
  }
  return tail;
}

}  // namespace

std::vector<float> renderIr(const Voicing& v) {
  assert(v.count > 0 && size_t(v.count) < kFftSize / 2 && "IR longer than the model's grid");
  const size_t count = size_t(v.count);

  // Close mic, its reflections and the second mic.
  const std::vector<Complex> direct = heard(v.cab, v.mic);
  std::vector<Complex> sum(direct.begin(), direct.begin() + kHalf + 1);
  for (const Reflection& r : v.reflections) {
    if (r.gain != 0) addDelayed(sum, direct, r.delayMs, r.gain, r.lowPassHz);
  }
  if (v.second.used) {
    const std::vector<Complex> other = heard(v.cab, v.second.mic);
    addDelayed(sum, other, v.second.delayMs, v.second.gain, 20000.0);
    const Reflection& f = v.second.floor;
    if (f.gain != 0) {
      addDelayed(sum, other, v.second.delayMs + f.delayMs, v.second.gain * f.gain, f.lowPassHz);
    }
  }
  std::vector<double> h = toTime(sum);

  if (v.room.used) {
    const double directEnergy = energy(h, count);
    const std::vector<Complex> roomHeard = heard(v.cab, v.room.listener);
    std::vector<Complex> early(kHalf + 1, 0.0);
    for (const Reflection& r : v.room.early) {
      if (r.gain != 0) addDelayed(early, roomHeard, r.delayMs, r.gain, r.lowPassHz);
    }
    const std::vector<double> e = toTime(early);
    std::vector<Complex> tail(kFftSize);
    const std::vector<double> noise = diffuseTail(v.room, v.seed);
    for (size_t i = 0; i < kFftSize; ++i) tail[i] = noise[i];
    fft(tail, false);
    for (size_t k = 0; k <= kHalf; ++k) tail[k] *= roomHeard[k];
    tail.resize(kHalf + 1);
    const std::vector<double> t = toTime(tail);
    const double eGain =
        std::sqrt(directEnergy / energy(e, count)) * std::pow(10.0, v.room.earlyDb / 20.0);
    const double tGain =
        std::sqrt(directEnergy / energy(t, count)) * std::pow(10.0, v.room.tailDb / 20.0);
    for (size_t i = 0; i < kFftSize; ++i) h[i] += eGain * e[i] + tGain * t[i];
  }

  // Begin at the impulse. A minimum-phase response with a steep top rises over a few samples;
  // drop those that would end below 0.0125 after normalising, so that the first sample clearly
  // carries the impulse. Dropping no more than that keeps the broadband error they leave about
  // 55 dB under the midrange.
  double peak = 0;
  for (size_t i = 0; i < count; ++i) peak = std::max(peak, std::abs(h[i]));
  size_t start = 0;
  while (std::abs(h[start]) < 0.0125 / v.peak * peak) ++start;
  assert(start + count < kFftSize && "onset search ran through the response");

  std::vector<float> out(count);
  const size_t fade = v.room.used ? 2400 : count / 4;
  peak = 0;
  std::vector<double> y(count);
  for (size_t i = 0; i < count; ++i) {
    double x = h[start + i];
    const size_t fromEnd = count - i;  // 1 for the last sample
    if (fromEnd <= fade) x *= 0.5 - 0.5 * std::cos(kPi * double(fromEnd - 1) / double(fade));
    y[i] = x;
    peak = std::max(peak, std::abs(x));
  }
  for (size_t i = 0; i < count; ++i) out[i] = float(y[i] * v.peak / peak);
  return out;
}

}  // namespace orq::irgen
