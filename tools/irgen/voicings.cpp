// Factory voicings: cabinet and speaker archetypes, microphone placements, and the 18
// combinations the catalogue describes. Index comments repeat the catalogue names.
#include "tools/irgen/voicings.h"

#include <initializer_list>

namespace orq::irgen {
namespace {

// --- Cabinets. Seeds pick each speaker's own cone irregularity.

// 4x12 closed back, ceramic 25 W speakers: tight low end, strong upper-mid break-up.
Cabinet closed412(uint64_t seed) {
  Cabinet c;
  c.resonanceHz = 105, c.resonanceQ = 1.4, c.resonanceDb = 5;
  c.lowCutHz = 78, c.lowCutQ = 0.95;
  c.shape[0] = {480, 0.8, -3.5};  // low-mid scoop of the closed box
  c.shape[1] = {1600, 3.0, 2.0};
  c.shape[2] = {2600, 4.0, 7.0};  // main break-up peak
  c.shape[3] = {3700, 5.0, 5.0};
  c.shape[4] = {4600, 6.0, -7.0};  // cone notch
  c.shape[5] = {235, 7.0, 1.5};    // standing wave inside the box
  c.rolloffHz = 5400, c.rolloffOrder = 8;
  c.rippleDb = 2.2, c.seed = seed;
  return c;
}

// 4x12 closed back with heavier 30 W speakers: more low-mid, thicker break-up, earlier top.
Cabinet closed412Heavy(uint64_t seed) {
  Cabinet c;
  c.resonanceHz = 95, c.resonanceQ = 1.5, c.resonanceDb = 5.5;
  c.lowCutHz = 72, c.lowCutQ = 1.0;
  c.shape[0] = {300, 1.0, 2.0};
  c.shape[1] = {750, 1.0, -2.5};
  c.shape[2] = {2100, 3.0, 4.5};
  c.shape[3] = {3200, 4.0, 3.5};
  c.shape[4] = {4100, 6.0, -6.0};
  c.shape[5] = {215, 7.0, 1.5};  // box mode
  c.rolloffHz = 5000, c.rolloffOrder = 8;
  c.rippleDb = 2.5, c.seed = seed;
  return c;
}

// 4x12 closed back with low-power vintage-style 20 W speakers: softer, mid-forward.
Cabinet closed412Vintage(uint64_t seed) {
  Cabinet c;
  c.resonanceHz = 85, c.resonanceQ = 1.1, c.resonanceDb = 4;
  c.lowCutHz = 70, c.lowCutQ = 0.85;
  c.shape[0] = {1100, 1.2, 3.0};
  c.shape[1] = {2000, 3.0, 3.0};
  c.shape[2] = {2900, 4.0, 2.5};
  c.shape[3] = {3900, 6.0, -5.0};
  c.shape[4] = {240, 7.0, 1.5};  // box mode
  c.rolloffHz = 4800, c.rolloffOrder = 8;
  c.rippleDb = 2.0, c.seed = seed;
  return c;
}

// 2x12 closed back: nearly the 4x12's weight, a little less resonant.
Cabinet closed212(uint64_t seed) {
  Cabinet c;
  c.resonanceHz = 110, c.resonanceQ = 1.4, c.resonanceDb = 5;
  c.lowCutHz = 82, c.lowCutQ = 0.9;
  c.shape[0] = {550, 0.9, -2.5};
  c.shape[1] = {2000, 3.0, 4.0};
  c.shape[2] = {3000, 4.0, 4.5};
  c.shape[3] = {4200, 5.0, 3.0};
  c.shape[4] = {5200, 6.0, -6.0};
  c.shape[5] = {290, 7.0, 1.5};  // box mode
  c.rolloffHz = 5700, c.rolloffOrder = 8;
  c.rippleDb = 2.1, c.seed = seed;
  return c;
}

// 1x12 closed back: punchy, higher resonance than the big boxes.
Cabinet closed112(uint64_t seed) {
  Cabinet c;
  c.resonanceHz = 122, c.resonanceQ = 1.6, c.resonanceDb = 5;
  c.lowCutHz = 90, c.lowCutQ = 0.9;
  c.shape[0] = {650, 1.0, -2.0};
  c.shape[1] = {2200, 3.0, 4.5};
  c.shape[2] = {3500, 4.0, 4.0};
  c.shape[3] = {4700, 6.0, -5.0};
  c.shape[4] = {360, 7.0, 1.5};  // box mode
  c.rolloffHz = 5500, c.rolloffOrder = 8;
  c.rippleDb = 2.1, c.seed = seed;
  return c;
}

// 1x15 closed back: deep resonance, dark top.
Cabinet closed115(uint64_t seed) {
  Cabinet c;
  c.resonanceHz = 82, c.resonanceQ = 1.5, c.resonanceDb = 6;
  c.lowCutHz = 58, c.lowCutQ = 0.9;
  c.shape[0] = {400, 1.0, -3.0};
  c.shape[1] = {1400, 2.5, 3.5};
  c.shape[2] = {2300, 3.5, 3.0};
  c.shape[3] = {3100, 5.0, -5.0};
  c.shape[4] = {270, 7.0, 1.5};  // box mode
  c.rolloffHz = 4100, c.rolloffOrder = 8;
  c.rippleDb = 2.1, c.seed = seed;
  return c;
}

// 2x12 open back with alnico speakers: loose low end, chimey upper mids.
Cabinet open212(uint64_t seed) {
  Cabinet c;
  c.resonanceHz = 95, c.resonanceQ = 0.9, c.resonanceDb = 3;
  c.lowCutHz = 70, c.lowCutQ = 0.7;
  c.openBackHz = 100;
  c.shape[0] = {700, 1.0, -2.0};
  c.shape[1] = {1250, 2.0, 3.0};
  c.shape[2] = {2300, 3.0, 4.5};
  c.shape[3] = {3500, 4.0, 3.5};
  c.shape[4] = {5000, 6.0, -5.0};
  c.rolloffHz = 5900, c.rolloffOrder = 6;
  c.rippleDb = 2.2, c.seed = seed;
  return c;
}

// 1x12 open-back combo: thin bottom, open mids, a bright edge.
Cabinet open112(uint64_t seed) {
  Cabinet c;
  c.resonanceHz = 115, c.resonanceQ = 1.0, c.resonanceDb = 3;
  c.lowCutHz = 80, c.lowCutQ = 0.7;
  c.openBackHz = 115;
  c.shape[0] = {1000, 1.2, 2.5};
  c.shape[1] = {2400, 3.0, 5.0};
  c.shape[2] = {3900, 4.0, 4.0};
  c.shape[3] = {5200, 6.0, -4.0};
  c.rolloffHz = 6100, c.rolloffOrder = 6;
  c.rippleDb = 2.4, c.seed = seed;
  return c;
}

// 4x10 open back: ten-inch cones resonate higher and break up later.
Cabinet open410(uint64_t seed) {
  Cabinet c;
  c.resonanceHz = 125, c.resonanceQ = 1.2, c.resonanceDb = 3.5;
  c.lowCutHz = 85, c.lowCutQ = 0.75;
  c.openBackHz = 115;
  c.shape[0] = {600, 1.0, -1.5};
  c.shape[1] = {2000, 2.5, 3.0};
  c.shape[2] = {3200, 3.5, 4.5};
  c.shape[3] = {4300, 4.0, 2.0};
  c.rolloffHz = 6500, c.rolloffOrder = 6;
  c.rippleDb = 2.1, c.seed = seed;
  return c;
}

// 2x10 open-back combo.
Cabinet open210(uint64_t seed) {
  Cabinet c;
  c.resonanceHz = 130, c.resonanceQ = 1.1, c.resonanceDb = 3;
  c.lowCutHz = 90, c.lowCutQ = 0.7;
  c.openBackHz = 125;
  c.shape[0] = {900, 1.0, 2.0};
  c.shape[1] = {2500, 3.0, 4.0};
  c.shape[2] = {4000, 4.0, 3.5};
  c.shape[3] = {5400, 6.0, -4.0};
  c.rolloffHz = 6300, c.rolloffOrder = 6;
  c.rippleDb = 2.1, c.seed = seed;
  return c;
}

// Small 1x10 open back: little bass, a boxy mid hump.
Cabinet open110(uint64_t seed) {
  Cabinet c;
  c.resonanceHz = 138, c.resonanceQ = 1.0, c.resonanceDb = 2.5;
  c.lowCutHz = 105, c.lowCutQ = 0.7;
  c.openBackHz = 140;
  c.shape[0] = {850, 1.1, 4.0};
  c.shape[1] = {2800, 3.0, 3.5};
  c.shape[2] = {4200, 5.0, -4.0};
  c.rolloffHz = 5600, c.rolloffOrder = 6;
  c.rippleDb = 2.0, c.seed = seed;
  return c;
}

// --- Microphones and positions: cap bright, edge softer, cone and off-axis darker.

Mic dynamicCap() {
  Mic m;
  m.proximityDb = 3, m.presence = {5000, 1.2, 4}, m.axisDb = 1.5, m.axisHz = 3500;
  m.detail = 1.2;
  return m;
}
Mic dynamicCapEdge() {
  Mic m;
  m.proximityDb = 3, m.presence = {4800, 1.2, 3}, m.axisDb = -2.5, m.axisHz = 3000;
  return m;
}
Mic dynamicCone() {
  Mic m;
  m.proximityDb = 3.5, m.presence = {4500, 1.2, 2.5}, m.axisDb = -5.5, m.axisHz = 2400;
  m.detail = 0.85;
  return m;
}
Mic ribbon() {
  Mic m;
  m.proximityDb = 4.5, m.axisDb = -2, m.axisHz = 3000, m.topHz = 7500;
  m.detail = 0.9;
  return m;
}
Mic ribbonOffAxis() {
  Mic m;
  m.proximityDb = 4, m.axisDb = -6, m.axisHz = 2200, m.topHz = 6500;
  m.detail = 0.6;
  return m;
}
Mic condenser(double presenceDb) {
  Mic m;
  m.proximityDb = 0.5, m.presence = {8000, 0.9, presenceDb};
  return m;
}
// How a room hears a cabinet: no proximity, the top falling away off axis.
Mic roomListener(double axisDb) {
  Mic m;
  m.axisDb = axisDb, m.axisHz = 1800;
  m.detail = 0.5;  // the room averages over every cone
  return m;
}

// Room with early reflections at the given delays (ms), falling in level, darker each time.
Room room(std::initializer_list<double> earlyMs, double earlyDb, double preDelayMs, double rtLowMs,
          double rtHighMs, double tailDb, double listenerAxisDb) {
  Room r;
  r.used = true;
  r.listener = roomListener(listenerAxisDb);
  int i = 0;
  double gain = 1.0, lowPass = 9000;
  for (double ms : earlyMs) {
    if (i == 8) break;
    // Every third surface inverts: keeps the sum from building one regular comb.
    const double signedGain = i % 3 == 2 ? -gain : gain;
    r.early[i] = {ms, signedGain, lowPass};
    ++i, gain *= 0.78, lowPass *= 0.8;
  }
  r.earlyDb = earlyDb, r.preDelayMs = preDelayMs, r.buildMs = preDelayMs * 0.8;
  r.rtLowMs = rtLowMs, r.rtHighMs = rtHighMs, r.tailDb = tailDb;
  return r;
}

// A close-miked voicing of 4096 samples; entries change the count and add the rest.
Voicing closeMiked(Cabinet cab, Mic mic, double peak) {
  Voicing v;
  v.cab = cab, v.mic = mic, v.peak = peak, v.count = 4096;
  return v;
}

}  // namespace

std::vector<Voicing> factoryVoicings() {
  std::vector<Voicing> all;

  // 0 4X12 CLOSED DYN: dynamic on the cap edge, a faint grille-cloth reflection.
  Voicing v = closeMiked(closed412(101), dynamicCapEdge(), 0.90);
  v.reflections[0] = {0.12, 0.12, 8000};
  all.push_back(v);

  // 1 4X12 CLOSED BLEND: same cabinet, ribbon 4 cm behind the dynamic.
  v = closeMiked(closed412(101), dynamicCapEdge(), 0.88);
  v.second = {true, ribbon(), 0.12, 0.75, {}};
  all.push_back(v);

  // 2 2X12 OPEN EDGE: dynamic at the cap edge, back wall 40 cm behind the open back.
  v = closeMiked(open212(202), dynamicCapEdge(), 0.86);
  v.count = 2396;
  v.reflections[0] = {2.6, -0.35, 900};
  all.push_back(v);

  // 3 1X12 OPEN CAP: dynamic dead centre on the cap, wall behind the combo.
  v = closeMiked(open112(303), dynamicCap(), 0.84);
  v.reflections[0] = {2.1, -0.38, 1000};
  all.push_back(v);

  // 4 4X12 RIBBON OFF-AXIS: heavy 4x12, ribbon angled 45 degrees at the cone.
  v = closeMiked(closed412Heavy(404), ribbonOffAxis(), 0.92);
  all.push_back(v);

  // 5 2X12 CLOSED CAP: dynamic straight at the dust cap.
  v = closeMiked(closed212(505), dynamicCap(), 0.82);
  v.reflections[0] = {0.1, 0.1, 9000};
  all.push_back(v);

  // 6 4X10 OPEN BRIGHT: small-diaphragm condenser 10 cm out on the cap edge.
  v = closeMiked(open410(606), condenser(3), 0.80);
  v.mic.axisDb = -1, v.mic.axisHz = 3500;
  v.reflections[0] = {2.4, -0.3, 1100};
  all.push_back(v);

  // 7 1X12 CLOSED FLOOR: dynamic at mid-cone, cabinet on the floor (floor bounce).
  v = closeMiked(closed112(707), dynamicCone(), 0.87);
  v.reflections[0] = {1.5, 0.3, 4000};
  all.push_back(v);

  // 8 2X10 OPEN COMBO: dynamic between cap and edge, wall behind.
  v = closeMiked(open210(808), dynamicCapEdge(), 0.85);
  v.reflections[0] = {3.0, -0.32, 850};
  all.push_back(v);

  // 9 4X12 CONDENSER 30CM: large-diaphragm condenser 30 cm out, floor bounce.
  v = closeMiked(closed412(909), condenser(2.5), 0.83);
  v.mic.proximityDb = 0, v.mic.axisDb = -1.5, v.mic.axisHz = 3000;
  v.reflections[0] = {2.2, 0.4, 5000};
  v.reflections[1] = {0.9, 0.15, 6000};  // grille and baffle
  all.push_back(v);

  // 10 1X15 CLOSED DEEP: dynamic on the cap edge of a 15-inch cone.
  v = closeMiked(closed115(1010), dynamicCapEdge(), 0.93);
  all.push_back(v);

  // 11 4X12 CAP+EDGE: vintage-style 4x12, dynamics on two speakers at different spots.
  v = closeMiked(closed412Vintage(1111), dynamicCap(), 0.86);
  {
    Mic edge = dynamicCone();
    v.second = {true, edge, 0.16, 0.55, {}};
  }
  all.push_back(v);

  // 12 1X10 OPEN SMALL: dynamic on the cap, combo near a wall.
  v = closeMiked(open110(1212), dynamicCap(), 0.81);
  v.reflections[0] = {1.6, -0.4, 1200};
  all.push_back(v);

  // 13 4X12 CLOSED ROOM: dynamic on the cap edge, medium live room.
  v = closeMiked(closed412(101), dynamicCapEdge(), 0.89);
  v.count = 9984, v.seed = 1313;
  v.room = room({4.1, 6.3, 9.0, 12.7, 15.2, 19.8, 24.5}, -13, 14, 420, 260, -11, -6);
  all.push_back(v);

  // 14 2X12 OPEN ROOM: open back in a wood-floored live room.
  v = closeMiked(open212(202), dynamicCapEdge(), 0.89);
  v.count = 9984, v.seed = 1414;
  v.reflections[0] = {2.6, -0.35, 900};
  v.room = room({3.3, 5.8, 8.4, 11.1, 14.9, 18.2, 23.0, 28.4}, -10, 11, 520, 340, -9, -4);
  all.push_back(v);

  // 15 4X12 CLOSE+ROOM MIC: close dynamic plus a condenser 2 m out, same room.
  v = closeMiked(closed412Heavy(1515), dynamicCapEdge(), 0.89);
  v.count = 9984, v.seed = 1515;
  v.second = {true, condenser(2), 5.8, 0.45, {3.4, 0.5, 4000}};
  v.second.mic.axisDb = -4, v.second.mic.axisHz = 2500;
  v.room = room({7.2, 9.9, 13.5, 17.0, 21.6, 26.3}, -9, 16, 480, 300, -6, -6);
  all.push_back(v);

  // 16 1X12 OPEN HALL: ribbon 1 m out in a large hall.
  v = closeMiked(open112(1616), ribbon(), 0.89);
  v.count = 9984, v.seed = 1616;
  v.mic.proximityDb = 1;
  v.reflections[0] = {2.1, -0.3, 1000};
  v.room = room({9.5, 14.0, 19.5, 26.0, 33.0, 41.0}, -8, 22, 900, 560, -4, -3);
  all.push_back(v);

  // 17 4X10 SMALL BOOTH: dynamic at mid-cone in a small, damped booth.
  v = closeMiked(open410(1717), dynamicCone(), 0.89);
  v.count = 9984, v.seed = 1717;
  v.reflections[0] = {1.7, -0.3, 1000};
  v.room = room({1.9, 2.7, 3.6, 4.4, 5.5, 6.8}, -12, 6, 160, 90, -15, -8);
  all.push_back(v);

  return all;
}

}  // namespace orq::irgen
