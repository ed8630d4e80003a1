// The 18 factory cabinet IRs: names, descriptions and the embedded "RW" blobs. The samples are
// modelled at build time by orq-irgen (tools/irgen), one voicing per entry in this order; the
// descriptions say what each voicing models.
#include "ir/catalogue.h"

#include <cassert>

extern "C" {
extern const uint8_t orq_factory_ir_00[];
extern const uint8_t orq_factory_ir_01[];
extern const uint8_t orq_factory_ir_02[];
extern const uint8_t orq_factory_ir_03[];
extern const uint8_t orq_factory_ir_04[];
extern const uint8_t orq_factory_ir_05[];
extern const uint8_t orq_factory_ir_06[];
extern const uint8_t orq_factory_ir_07[];
extern const uint8_t orq_factory_ir_08[];
extern const uint8_t orq_factory_ir_09[];
extern const uint8_t orq_factory_ir_10[];
extern const uint8_t orq_factory_ir_11[];
extern const uint8_t orq_factory_ir_12[];
extern const uint8_t orq_factory_ir_13[];
extern const uint8_t orq_factory_ir_14[];
extern const uint8_t orq_factory_ir_15[];
extern const uint8_t orq_factory_ir_16[];
extern const uint8_t orq_factory_ir_17[];
}

namespace orq {
namespace {

const FactoryIr kFactory[kFactoryIrCount] = {
    {L"4X12 CLOSED DYN",
     L"A modelled 4x12 closed-back cabinet with four 25-watt ceramic 12-inch speakers. "
     L"Tight, firm low end with the cone resonance near 105 Hz, a scooped low-mid, a strong"
     L" break-up peak around 2.6 kHz and a steep roll-off above 5.4 kHz. Modelled dynamic "
     L"mic on the edge of the dust cap, touching the grille cloth, in a dry room.",
     orq_factory_ir_00},
    {L"4X12 CLOSED BLEND",
     L"The same modelled 4x12 closed-back cabinet with 25-watt ceramic speakers, heard by "
     L"two microphones: a dynamic on the edge of the dust cap and a ribbon 4 cm behind it. "
     L"The ribbon adds weight and smooths the top, and the small distance between the mics "
     L"leaves a soft comb notch near 4 kHz. Dry room.",
     orq_factory_ir_01},
    {L"2X12 OPEN EDGE",
     L"A modelled 2x12 open-back cabinet with alnico-magnet 12-inch speakers. Looser, "
     L"lighter low end than a closed box, chimey upper mids around 2.3 kHz and a smooth "
     L"top. Modelled dynamic mic at the edge of the dust cap; the back wall 40 cm behind "
     L"the open back returns the rear wave a few milliseconds later. Short IR.",
     orq_factory_ir_02},
    {L"1X12 OPEN CAP",
     L"A modelled 1x12 open-back combo with one lightweight ceramic 12-inch speaker. Thin "
     L"bottom, open mids and a bright bite around 2.4 kHz. Modelled dynamic mic dead centre"
     L" on the dust cap, the brightest position, with the combo standing a short way in "
     L"front of a wall that reflects the rear wave back.",
     orq_factory_ir_03},
    {L"4X12 RIBBON OFF-AXIS",
     L"A modelled 4x12 closed-back cabinet loaded with heavier 30-watt 12-inch speakers: "
     L"thick low-mids, a resonance near 95 Hz and a break-up that starts around 2.1 kHz. "
     L"Modelled ribbon mic angled 45 degrees at the cone, close to the grille, which "
     L"darkens the top and softens the pick attack. Dry room.",
     orq_factory_ir_04},
    {L"2X12 CLOSED CAP",
     L"A modelled 2x12 closed-back cabinet with two ceramic 12-inch speakers: nearly the "
     L"weight of a 4x12 with a slightly higher resonance near 110 Hz. Modelled dynamic mic "
     L"pointed straight at the centre of the dust cap, on axis, for a cutting, present "
     L"sound with a tight low end. A faint grille-cloth reflection. Dry room.",
     orq_factory_ir_05},
    {L"4X10 OPEN BRIGHT",
     L"A modelled 4x10 open-back cabinet with four 10-inch speakers. The smaller cones "
     L"resonate higher, near 125 Hz, and break up later, so the sound is quick and "
     L"sparkling. Modelled small-diaphragm condenser mic 10 cm from the grille, aimed at "
     L"the edge of a dust cap, with the back wall returning some low-mid from behind.",
     orq_factory_ir_06},
    {L"1X12 CLOSED FLOOR",
     L"A modelled 1x12 closed-back cabinet with a 30-watt 12-inch speaker: punchy, with the"
     L" resonance near 120 Hz. The cabinet stands on a hard floor; the modelled dynamic mic"
     L" sits halfway between the dust cap and the cone edge, so the top is softer, and the "
     L"floor bounce adds a gentle comb through the mids.",
     orq_factory_ir_07},
    {L"2X10 OPEN COMBO",
     L"A modelled 2x10 open-back combo with two 10-inch ceramic speakers. Light low end "
     L"that rises near 130 Hz, a forward midrange around 900 Hz and a clear top. Modelled "
     L"dynamic mic between the dust cap and the cone edge, close to the grille, with the "
     L"room's back wall returning the rear wave about 3 ms later.",
     orq_factory_ir_08},
    {L"4X12 CONDENSER 30CM",
     L"A modelled 4x12 closed-back cabinet with 25-watt ceramic speakers, heard from "
     L"further away: a large-diaphragm condenser mic 30 cm in front of the grille, on the "
     L"axis of one speaker. No proximity boost, a wider and more even picture of the "
     L"cabinet, and a floor reflection that lays a soft comb over the low mids. Dry room.",
     orq_factory_ir_09},
    {L"1X15 CLOSED DEEP",
     L"A modelled 1x15 closed-back cabinet with a single 15-inch speaker. Deep resonance "
     L"near 82 Hz, a big low end and a dark top that falls away above 4 kHz, for a round "
     L"and heavy sound that suits baritone and low tunings. Modelled dynamic mic on the "
     L"edge of the dust cap, close to the grille, in a dry room.",
     orq_factory_ir_10},
    {L"4X12 CAP+EDGE",
     L"A modelled 4x12 closed-back cabinet with low-power vintage-style 20-watt speakers: "
     L"mid-forward and soft in the low end. Two modelled dynamic mics on two different "
     L"speakers, one on the cap and one on the cone further out, 5 cm apart in depth, so "
     L"the blend carries a comb notch in the upper mids that reads as a vocal, phasey edge. "
     L"Dry room.",
     orq_factory_ir_11},
    {L"1X10 OPEN SMALL",
     L"A modelled small 1x10 open-back practice combo with one 10-inch speaker. Little "
     L"bass, a boxy mid hump near 850 Hz and a narrow, honky character that sits well in "
     L"dense mixes. Modelled dynamic mic straight at the dust cap, with the combo set close"
     L" to a wall so the rear wave returns quickly.",
     orq_factory_ir_12},
    {L"4X12 CLOSED ROOM",
     L"A modelled 4x12 closed-back cabinet with 25-watt ceramic speakers and a modelled "
     L"dynamic mic on the edge of the dust cap, in a medium-sized live room: early "
     L"reflections from the floor and the near walls, then a diffuse tail that keeps the "
     L"dark end of the sound a little longer than its top. Long IR with room sound.",
     orq_factory_ir_13},
    {L"2X12 OPEN ROOM",
     L"A modelled 2x12 open-back cabinet with alnico-magnet speakers in a live room with a "
     L"wooden floor. Modelled dynamic mic at the edge of the dust cap; the rear wave off "
     L"the back wall, a dense set of early reflections and a warm diffuse tail add space "
     L"around the chimey mids. Long IR with room sound.",
     orq_factory_ir_14},
    {L"4X12 CLOSE+ROOM MIC",
     L"A modelled 4x12 closed-back cabinet with 30-watt speakers, recorded two ways at "
     L"once: a modelled dynamic mic on the edge of the dust cap and a condenser 2 m out in "
     L"the room, arriving about 6 ms later with its floor bounce, followed by the room's "
     L"reflections and tail. Big and three-dimensional. Long IR with room sound.",
     orq_factory_ir_15},
    {L"1X12 OPEN HALL",
     L"A modelled 1x12 open-back combo with a lightweight ceramic speaker, heard through a "
     L"ribbon mic 1 m in front of the grille in a large hall with a high ceiling. Late, "
     L"widely spaced early reflections and the longest tail of the set give an ambient, "
     L"spacious sound best used at low levels. Long IR with room sound.",
     orq_factory_ir_16},
    {L"4X10 SMALL BOOTH",
     L"A modelled 4x10 open-back cabinet with 10-inch speakers in a small, heavily damped "
     L"isolation booth. Modelled dynamic mic halfway out on the cone. Close, quick "
     L"reflections from the booth walls and a very short tail give a tight, boxy sense of "
     L"space without a wash of reverb. Long IR with room sound.",
     orq_factory_ir_17},
};

}  // namespace

const FactoryIr& factoryIr(int index) {
  assert(index >= 0 && index < kFactoryIrCount && "factory IR index is 0..17");
  return kFactory[index];
}

IrSamples blobSamples(const uint8_t* blob) {
  if (!blob || blob[0] != 'R' || blob[1] != 'W') return {nullptr, 0};
  const uint32_t bytes = uint32_t(blob[2]) | uint32_t(blob[3]) << 8;
  // Samples are read in place as floats: the blob must be 4-byte aligned and whole samples.
  if (bytes % 4 != 0 || reinterpret_cast<uintptr_t>(blob) % 4 != 0) return {nullptr, 0};
  return {reinterpret_cast<const float*>(blob + 4), bytes / 4};
}

}  // namespace orq
