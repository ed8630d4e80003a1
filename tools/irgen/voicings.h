// The 18 factory voicings, in catalogue order. Their texts live with the catalogue
// (ir/catalogue.cpp); each voicing here is written to match its entry's description.
#pragma once

#include <vector>

#include "tools/irgen/cab_model.h"

namespace orq::irgen {

inline constexpr int kFactoryCount = 18;

std::vector<Voicing> factoryVoicings();

}  // namespace orq::irgen
