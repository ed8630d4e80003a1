// The cabinet model of the IR generator: a voicing (cabinet, speaker, microphone, reflections
// and room) turned into one impulse response. The cabinet and microphone set a magnitude curve
// that becomes a minimum-phase response; second mics, reflections and the room are added as
// delayed, filtered copies and a decaying noise tail heard through the cabinet.
#pragma once

#include <cstdint>
#include <vector>

namespace orq::irgen {

// A peaking band; db 0 leaves it out.
struct Band {
  double hz = 1000;
  double q = 1;
  double db = 0;
};

struct Cabinet {
  double resonanceHz = 100;  // cone resonance in the box
  double resonanceQ = 1.2;
  double resonanceDb = 4;
  double lowCutHz = 75;  // second-order roll-off below the resonance; higher Q: tighter box
  double lowCutQ = 0.8;
  double openBackHz = 0;    // open back: the rear wave cancels the low end below this (0: closed)
  Band shape[7];            // low-mid scoop, mid bumps, cone break-up peaks and notches
  double rolloffHz = 5500;  // the cone stops radiating: steep top roll-off
  int rolloffOrder = 8;
  double rippleDb = 1.5;  // irregularity of the cone above 1 kHz, seeded per speaker
  uint64_t seed = 1;
};

struct Mic {
  double proximityDb = 0;  // low shelf from the close-mic proximity effect
  Band presence;           // capsule presence peak
  double axisDb = 0;       // high shelf: cap (0) to edge to off-axis (more negative)
  double axisHz = 3000;
  double topHz = 0;   // the capsule's own top roll-off (ribbons); 0: none
  double detail = 1;  // share of the cone's irregularity heard: more on axis and close
};

// A delayed copy: negative gain inverts it (the rear wave of an open back).
struct Reflection {
  double delayMs = 0;
  double gain = 0;
  double lowPassHz = 20000;
};

struct SecondMic {
  bool used = false;
  Mic mic;
  double delayMs = 0;  // extra distance to the cone, as time
  double gain = 0;
  Reflection floor;  // a floor bounce heard by this mic only
};

struct Room {
  bool used = false;
  Mic listener;            // how the room hears the cabinet (usually darker than the close mic)
  Reflection early[8];     // discrete early reflections of the room
  double earlyDb = -12;    // their energy against the direct sound
  double preDelayMs = 10;  // start of the diffuse tail
  double buildMs = 8;      // its rise time
  double rtLowMs = 300;    // reverberation time below ~1.5 kHz
  double rtHighMs = 200;   // and above
  double tailDb = -10;     // tail energy against the direct sound
};

struct Voicing {
  Cabinet cab;
  Mic mic;
  Reflection reflections[3];  // grille, floor or back-wall reflections at the close mic
  SecondMic second;
  Room room;
  int count = 4096;    // samples at 48 kHz
  double peak = 0.89;  // max |x| after normalising
  uint64_t seed = 1;   // room noise
};

// The IR of a voicing: count samples, starting at the impulse, faded out at the end, peak
// normalised.
std::vector<float> renderIr(const Voicing& v);

}  // namespace orq::irgen
