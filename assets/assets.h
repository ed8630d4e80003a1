// The panel's embedded pictures ("RI", 1000 x 850) and masks ("RM"), converted from the SVG
// sources in this folder at build time. Every blob carries its 6-byte header and lives for the
// whole run.
#pragma once

#include "render/image_format.h"

namespace orq::assets {

using render::ImageData;

ImageData makerLogo();              // RM 214 x 50, the maker's name
ImageData wordMark();               // RM 186 x 18, the product family
ImageData leftArrow();              // RM 22 x 22
ImageData rightArrow();             // RM 22 x 22
ImageData midiConnector();          // RM 46 x 46
ImageData waveform();               // RM 46 x 46
ImageData folder();                 // RM 46 x 46
ImageData plus();                   // RM 46 x 46
ImageData plug();                   // RM 46 x 46
ImageData lowpassCurve(int value);  // RM 48 x 20; value 1, 2, 3 (others give curve 1)

ImageData devicePicture(int modelKind);  // RI 1000 x 850; model 0, 1, 2 (others: 0)
// Switch-position overlays: dark set for model 0, light set for models 1 and 2; position 1, 2.
ImageData switchOverlay(bool light, int position);
ImageData blueLedOverlay();  // RI 1000 x 850
// The program's icon, RI 48 x 48 for size 48 or less, else RI 256 x 256.
ImageData appIcon(int size);
ImageData redLedOverlay();  // RI 1000 x 850

}  // namespace orq::assets
