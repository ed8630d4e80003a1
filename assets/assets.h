// The panel's embedded pictures ("RI", 1000 x 850) and masks ("RM"), converted from the SVG
// sources in this folder at build time. Every pointer is to a blob with its 6-byte header and
// lives for the whole run.
#pragma once

#include <cstdint>

namespace orq::assets {

const uint8_t* makerLogo();      // RM 214 x 50, the maker's name
const uint8_t* wordMark();       // RM 186 x 18, the product family
const uint8_t* leftArrow();      // RM 22 x 22
const uint8_t* rightArrow();     // RM 22 x 22
const uint8_t* midiConnector();  // RM 46 x 46
const uint8_t* waveform();       // RM 46 x 46
const uint8_t* folder();         // RM 46 x 46
const uint8_t* plus();           // RM 46 x 46
const uint8_t* plug();           // RM 46 x 46
const uint8_t* lowpassCurve(int value);  // RM 48 x 20; value 1, 2, 3 (others give curve 1)

const uint8_t* devicePicture(int modelKind);  // RI 1000 x 850; model 0, 1, 2 (others: 0)
// Switch-position overlays: dark set for model 0, light set for models 1 and 2; position 1, 2.
const uint8_t* switchOverlay(bool light, int position);
const uint8_t* blueLedOverlay();  // RI 1000 x 850
const uint8_t* redLedOverlay();   // RI 1000 x 850

}  // namespace orq::assets
