// The canvas over Cairo (shapes, images, masks) and Pango (text).
//
// Sections: frame state; image cache; text resources; paintFrame; fillRect/setScale; images and
// masks; text. Everything runs on the user-interface thread inside paintFrame.
#include "render/render_cairo.h"

#include <fontconfig/fontconfig.h>
#include <pango/pangocairo.h>
#include <pango/pangofc-font.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <unordered_map>

#include "files/utf8.h"
#include "render/image_format.h"

namespace orq::render {
namespace {

// ---- Frame state: the canvas of one paint over its context.
class CairoCanvas final : public Canvas {
 public:
  CairoCanvas(cairo_t* cr, int32_t width, int32_t height)
      : cr_(cr), width_(width), height_(height) {
    cairo_get_matrix(cr, &base_);
  }

  void surfaceSize(int32_t& width, int32_t& height) const override {
    width = width_;
    height = height_;
  }
  void fillRect(int32_t x, int32_t y, int32_t width, int32_t height, int32_t radius,
                uint32_t colour) override;
  void setScale(float factor) override;
  void drawImage(int32_t x, int32_t y, int32_t width, int32_t height, ImageData image) override;
  void drawImagePart(int32_t sx, int32_t sy, int32_t sw, int32_t sh, int32_t dx, int32_t dy,
                     int32_t dw, int32_t dh, ImageData image) override;
  void drawMask(int32_t x, int32_t y, int32_t width, int32_t height, ImageData mask,
                uint32_t colour) override;
  void drawText(int32_t x, int32_t y, int32_t width, int32_t height, uint32_t colour, int32_t style,
                int32_t hAlign, int32_t vAlign, const std::wstring& text, bool singleLine) override;

 private:
  cairo_t* target() const { return singular_ ? nullptr : cr_; }

  cairo_t* cr_;
  cairo_matrix_t base_{};  // the backend's matrix at frame start; setScale multiplies it
  int32_t width_;          // surface size in logical units
  int32_t height_;
  // setScale produced a singular transform (factor 0): Cairo would put the context into a
  // permanent error state, so drawing is skipped instead until the next setScale.
  bool singular_ = false;
};

int32_t truncateSize(double v) {
  if (!(v > 0)) return 0;  // also NaN
  if (v >= static_cast<double>(std::numeric_limits<int32_t>::max())) {
    return std::numeric_limits<int32_t>::max();
  }
  return static_cast<int32_t>(v);
}

void setColour(cairo_t* cr, const Rgba& c) {
  cairo_set_source_rgba(cr, c.red, c.green, c.blue, c.alpha);
}

// ---- Image cache. The panel draws the same embedded blobs every paint; decoding a 1000 x 850
// picture costs more than drawing it, so each blob is converted once. A fingerprint of sampled
// bytes guards against a different image placed at a freed blob's address.
struct CachedImage {
  size_t size = 0;
  uint8_t tag = 0;
  uint64_t fingerprint = 0;
  cairo_surface_t* surface = nullptr;
};

constexpr size_t kMaxCachedImages = 256;

struct ImageCache : std::unordered_map<const uint8_t*, CachedImage> {
  ImageCache() = default;
  ImageCache(const ImageCache&) = delete;
  ImageCache& operator=(const ImageCache&) = delete;
  ~ImageCache() {
    for (auto& [bytes, image] : *this) cairo_surface_destroy(image.surface);
  }
};

ImageCache& imageCache() {
  static ImageCache cache;
  return cache;
}

uint64_t fingerprint(ImageData data) {
  // FNV-1a over up to 64 bytes spread evenly through the blob, header included.
  uint64_t h = 1469598103934665603ull;
  const size_t samples = std::min<size_t>(64, data.size);
  for (size_t i = 0; i < samples; ++i) {
    const size_t at = samples > 1 ? i * (data.size - 1) / (samples - 1) : 0;
    h = (h ^ data.bytes[at]) * 1099511628211ull;
  }
  return h;
}

cairo_surface_t* decode(const ImageView& view, bool colour) {
  cairo_surface_t* s = cairo_image_surface_create(colour ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_A8,
                                                  view.width, view.height);
  if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(s);
    return nullptr;
  }
  cairo_surface_flush(s);
  uint8_t* dst = cairo_image_surface_get_data(s);
  const auto stride = static_cast<size_t>(cairo_image_surface_get_stride(s));
  if (colour) {
    copyToPremultipliedArgb(view, dst, stride);
  } else {
    copyMaskRows(view, dst, stride);
  }
  cairo_surface_mark_dirty(s);
  return s;
}

// The decoded surface for a blob that the reader already accepted, or null when Cairo cannot
// make one (e.g. a side beyond its 32767-pixel limit).
cairo_surface_t* surfaceFor(ImageData data, const ImageView& view, bool colour) {
  auto& cache = imageCache();
  const uint8_t tag = data.bytes[1];
  const uint64_t fp = fingerprint(data);
  auto it = cache.find(data.bytes);
  if (it != cache.end()) {
    if (it->second.size == data.size && it->second.tag == tag && it->second.fingerprint == fp) {
      return it->second.surface;
    }
    cairo_surface_destroy(it->second.surface);
    cache.erase(it);
  }
  cairo_surface_t* s = decode(view, colour);
  if (!s) return nullptr;
  if (cache.size() >= kMaxCachedImages) clearImageCache();
  cache[data.bytes] = CachedImage{data.size, tag, fp, s};
  return s;
}

// Paints the source rectangle (image pixels) of `surface` into the destination rectangle with
// bilinear filtering. Samples never reach outside the source rectangle; a source rectangle
// that extends past the image maps only its part inside the image.
void paintSurfacePart(cairo_t* cr, cairo_surface_t* surface, int32_t iw, int32_t ih, double sx,
                      double sy, double sw, double sh, double dx, double dy, double dw, double dh) {
  if (sw <= 0 || sh <= 0 || dw == 0 || dh == 0) return;
  const double x0 = std::max(sx, 0.0), y0 = std::max(sy, 0.0);
  const double x1 = std::min(sx + sw, static_cast<double>(iw));
  const double y1 = std::min(sy + sh, static_cast<double>(ih));
  if (x1 <= x0 || y1 <= y0) return;
  const double kx = dw / sw, ky = dh / sh;

  const bool whole = x0 == 0 && y0 == 0 && x1 == iw && y1 == ih;
  cairo_surface_t* src =
      whole ? cairo_surface_reference(surface)
            : cairo_surface_create_for_rectangle(surface, x0, y0, x1 - x0, y1 - y0);
  cairo_pattern_t* pattern = cairo_pattern_create_for_surface(src);
  cairo_surface_destroy(src);
  // user -> pattern: p = (u - dx) / k + sx - x0
  cairo_matrix_t m;
  cairo_matrix_init_translate(&m, sx - x0, sy - y0);
  cairo_matrix_scale(&m, 1.0 / kx, 1.0 / ky);
  cairo_matrix_translate(&m, -dx, -dy);
  cairo_pattern_set_matrix(pattern, &m);
  cairo_pattern_set_filter(pattern, CAIRO_FILTER_BILINEAR);
  cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);

  cairo_set_source(cr, pattern);
  cairo_rectangle(cr, dx + (x0 - sx) * kx, dy + (y0 - sy) * ky, (x1 - x0) * kx, (y1 - y0) * ky);
  cairo_fill(cr);
  cairo_pattern_destroy(pattern);
}

// ---- Text: one Pango context and layout for every text of the process, three font styles.
constexpr double kStyleSizes[3] = {10, 11, 13};
constexpr const char* kFamilies = "Segoe UI Semibold,Open Sans Semibold,Open Sans";

PangoContext* makeTextContext(PangoFontMap* fontMap) {
  PangoContext* context = pango_font_map_create_context(fontMap);
  // Layout must not depend on the device scale: unhinted metrics and fractional glyph
  // positions make a 144-dpi surface show exactly the 96-dpi layout enlarged by 1.5.
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  pango_cairo_context_set_font_options(context, options);
  cairo_font_options_destroy(options);
  pango_context_set_round_glyph_positions(context, FALSE);
  return context;
}

struct TextResources {
  // An own font map rather than the thread's default one, so that its font caches are
  // released with it when the process ends.
  PangoFontMap* fontMap = nullptr;
  PangoContext* context = nullptr;
  PangoLayout* layout = nullptr;
  PangoFontDescription* styles[3] = {};

  TextResources() {
    fontMap = pango_cairo_font_map_new();
    context = makeTextContext(fontMap);
    layout = pango_layout_new(context);
    for (int i = 0; i < 3; ++i) {
      styles[i] = pango_font_description_new();
      pango_font_description_set_family(styles[i], kFamilies);
      pango_font_description_set_weight(styles[i], PANGO_WEIGHT_SEMIBOLD);
      pango_font_description_set_style(styles[i], PANGO_STYLE_NORMAL);
      pango_font_description_set_stretch(styles[i], PANGO_STRETCH_NORMAL);
      pango_font_description_set_absolute_size(styles[i], kStyleSizes[i] * PANGO_SCALE);
    }
  }
  ~TextResources() {
    for (auto* s : styles) pango_font_description_free(s);
    g_object_unref(layout);
    g_object_unref(context);
    g_object_unref(fontMap);
  }
};

// A box side in Pango units; sides beyond any screen are capped so the product cannot overflow.
int pangoUnits(int32_t side) {
  return std::clamp(side, 0, 1 << 20) * PANGO_SCALE;
}

TextResources& textResources() {
  static TextResources resources;
  return resources;
}

}  // namespace

// ---- Frame
void paintFrame(cairo_t* cr, double logicalWidth, double logicalHeight,
                const PaintFunction& paint) {
  cairo_save(cr);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_DEFAULT);
  cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
  CairoCanvas canvas(cr, truncateSize(logicalWidth), truncateSize(logicalHeight));
  paint(canvas);
  cairo_restore(cr);
}

void clearImageCache() {
  for (auto& [bytes, image] : imageCache()) cairo_surface_destroy(image.surface);
  imageCache().clear();
}

int cachedImageCount() {
  return static_cast<int>(imageCache().size());
}

ResolvedFace resolvedFace(int32_t style) {
  ResolvedFace face;
  if (style < 0 || style > 2) return face;
  TextResources& res = textResources();
  PangoContext* context = makeTextContext(res.fontMap);
  PangoLayout* layout = pango_layout_new(context);
  pango_layout_set_font_description(layout, res.styles[style]);
  pango_layout_set_text(layout, "Ag", -1);
  PangoLayoutLine* line = pango_layout_get_line_readonly(layout, 0);
  if (line && line->runs) {
    auto* run = static_cast<PangoGlyphItem*>(line->runs->data);
    PangoFontDescription* d = pango_font_describe_with_absolute_size(run->item->analysis.font);
    face.family = pango_font_description_get_family(d) ? pango_font_description_get_family(d) : "";
    face.weight = static_cast<int>(pango_font_description_get_weight(d));
    face.size = static_cast<double>(pango_font_description_get_size(d)) / PANGO_SCALE;
    pango_font_description_free(d);
    if (PANGO_IS_FC_FONT(run->item->analysis.font)) {
      FcChar8* file = nullptr;
      FcPattern* pattern = pango_fc_font_get_pattern(PANGO_FC_FONT(run->item->analysis.font));
      if (FcPatternGetString(pattern, FC_FILE, 0, &file) == FcResultMatch && file) {
        face.file = reinterpret_cast<const char*>(file);
      }
    }
  }
  g_object_unref(layout);
  g_object_unref(context);
  return face;
}

// ---- Shapes and transform
void CairoCanvas::fillRect(int32_t x, int32_t y, int32_t width, int32_t height, int32_t radius,
                           uint32_t colour) {
  cairo_t* cr = target();
  const Rgba c = decodeColour(colour);
  if (!cr || c.alpha == 0 || width == 0 || height == 0) return;
  setColour(cr, c);
  if (radius <= 0) {
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    cairo_rectangle(cr, x, y, width, height);
    cairo_fill(cr);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_DEFAULT);
    return;
  }
  // Corner radii clamp to half the side, each axis on its own (elliptic corners when one side
  // is shorter than twice the radius).
  const double left = std::min<double>(x, static_cast<double>(x) + width);
  const double top = std::min<double>(y, static_cast<double>(y) + height);
  const double w = std::abs(static_cast<double>(width)), h = std::abs(static_cast<double>(height));
  const double rx = std::min<double>(radius, w / 2), ry = std::min<double>(radius, h / 2);
  const double corners[4][3] = {{left + w - rx, top + ry, -M_PI / 2},
                                {left + w - rx, top + h - ry, 0},
                                {left + rx, top + h - ry, M_PI / 2},
                                {left + rx, top + ry, M_PI}};
  cairo_new_sub_path(cr);
  for (const auto& k : corners) {
    cairo_save(cr);
    cairo_translate(cr, k[0], k[1]);
    cairo_scale(cr, rx, ry);
    cairo_arc(cr, 0, 0, 1, k[2], k[2] + M_PI / 2);
    cairo_restore(cr);
  }
  cairo_close_path(cr);
  cairo_fill(cr);
}

void CairoCanvas::setScale(float factor) {
  cairo_set_matrix(cr_, &base_);
  singular_ = false;
  if (factor == 1.0f) return;
  cairo_matrix_t m = base_;
  cairo_matrix_scale(&m, factor, factor);
  cairo_matrix_t inverse = m;
  if (!std::isfinite(factor) || cairo_matrix_invert(&inverse) != CAIRO_STATUS_SUCCESS) {
    singular_ = true;
    return;
  }
  cairo_set_matrix(cr_, &m);
}

// ---- Images and masks
void CairoCanvas::drawImage(int32_t x, int32_t y, int32_t width, int32_t height, ImageData image) {
  ImageView view;
  if (!target() || !readColourImage(image, view)) return;
  drawImagePart(0, 0, view.width, view.height, x, y, width, height, image);
}

void CairoCanvas::drawImagePart(int32_t sx, int32_t sy, int32_t sw, int32_t sh, int32_t dx,
                                int32_t dy, int32_t dw, int32_t dh, ImageData image) {
  cairo_t* cr = target();
  ImageView view;
  if (!cr || !readColourImage(image, view)) return;
  cairo_surface_t* surface = surfaceFor(image, view, true);
  if (!surface) return;
  paintSurfacePart(cr, surface, view.width, view.height, sx, sy, sw, sh, dx, dy, dw, dh);
}

void CairoCanvas::drawMask(int32_t x, int32_t y, int32_t width, int32_t height, ImageData mask,
                           uint32_t colour) {
  cairo_t* cr = target();
  ImageView view;
  const Rgba c = decodeColour(colour);
  if (!cr || !readMask(mask, view) || width == 0 || height == 0 || c.alpha == 0) return;
  cairo_surface_t* surface = surfaceFor(mask, view, false);
  if (!surface) return;
  cairo_save(cr);
  // The box edges are aliased; inside it the mask is resampled bilinearly.
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  cairo_rectangle(cr, x, y, width, height);
  cairo_clip(cr);
  setColour(cr, c);
  cairo_pattern_t* pattern = cairo_pattern_create_for_surface(surface);
  cairo_matrix_t m;
  cairo_matrix_init_scale(&m, static_cast<double>(view.width) / width,
                          static_cast<double>(view.height) / height);
  cairo_matrix_translate(&m, -x, -y);
  cairo_pattern_set_matrix(pattern, &m);
  cairo_pattern_set_filter(pattern, CAIRO_FILTER_BILINEAR);
  cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
  cairo_mask(cr, pattern);
  cairo_pattern_destroy(pattern);
  cairo_restore(cr);
}

// ---- Text. A style outside 0..2 draws nothing.
void CairoCanvas::drawText(int32_t x, int32_t y, int32_t width, int32_t height, uint32_t colour,
                           int32_t style, int32_t hAlign, int32_t vAlign, const std::wstring& text,
                           bool singleLine) {
  cairo_t* cr = target();
  const Rgba c = decodeColour(colour);
  if (!cr || style < 0 || style > 2 || c.alpha == 0 || text.empty()) return;
  TextResources& res = textResources();
  PangoLayout* layout = res.layout;
  pango_cairo_update_context(cr, res.context);
  pango_layout_context_changed(layout);

  std::string utf8 = toUtf8(text);
  std::erase(utf8, '\0');  // Pango refuses embedded NULs as invalid text
  pango_layout_set_font_description(layout, res.styles[style]);
  pango_layout_set_text(layout, utf8.data(), static_cast<int>(utf8.size()));
  pango_layout_set_width(layout, pangoUnits(width));
  pango_layout_set_alignment(layout, hAlign == 0   ? PANGO_ALIGN_LEFT
                                     : hAlign == 1 ? PANGO_ALIGN_CENTER
                                                   : PANGO_ALIGN_RIGHT);
  pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
  if (singleLine) {
    pango_layout_set_single_paragraph_mode(layout, TRUE);
    pango_layout_set_height(layout, -1);  // one line per paragraph, cut with an ellipsis
  } else {
    // Word wrap; what still overflows the box is cut with an ellipsis on its last line.
    pango_layout_set_single_paragraph_mode(layout, FALSE);
    pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    pango_layout_set_height(layout, pangoUnits(height) + PANGO_SCALE);  // the box's height + 1
  }

  PangoRectangle logical;
  pango_layout_get_extents(layout, nullptr, &logical);
  const double textHeight = static_cast<double>(logical.height) / PANGO_SCALE;
  // The layout box runs from one unit above y down to y + height: height + 1 units.
  const double boxTop = static_cast<double>(y) - 1;
  const double boxHeight = static_cast<double>(height) + 1;
  double top = boxTop;
  if (vAlign == 0) {
    top += (boxHeight - textHeight) / 2;
  } else if (vAlign != 1) {
    top += boxHeight - textHeight;
  }
  setColour(cr, c);
  cairo_move_to(cr, x, top);
  pango_cairo_show_layout(cr, layout);
  cairo_new_path(cr);
}

}  // namespace orq::render
