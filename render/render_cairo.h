// The Cairo/Pango backend of the drawing operations. Backends hand it a cairo context whose
// user space is in logical units (the device scale already maps them to pixels).
#pragma once

#include <cairo.h>

namespace orq {
class Platform;
}

namespace orq::render {

// One paint: makes `cr` the drawing target, stores the surface size (logical units, truncated),
// delivers PlatformEvent::Paint to the platform's callback, and releases the target again.
void paintFrame(Platform& platform, cairo_t* cr, double logicalWidth, double logicalHeight);

}  // namespace orq::render
