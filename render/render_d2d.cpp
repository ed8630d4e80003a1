// The canvas over Direct2D (shapes, bitmaps) and DirectWrite (text).
//
// Sections: resources (factory, window surface, brush, text styles); the canvas of one frame;
// the paint entries; fillRect/setScale; images and masks; text.
// Everything runs on the user-interface thread inside a paint. Bitmaps live for one operation:
// nothing is cached between operations or paints.
#include "render/render_d2d.h"

#include <dwrite.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "render/image_format.h"

namespace orq::render {
namespace {

template <typename T>
void release(T*& p) {
  if (p) p->Release();
  p = nullptr;
}

// ---- Resources
constexpr float kStyleSizes[3] = {10, 11, 13};
constexpr auto kRecreateTarget = static_cast<HRESULT>(D2DERR_RECREATE_TARGET);  // 0x8899000C

// The three text styles and their ellipsis signs. Device-independent, but released with the
// surface all the same, so that a lost device starts again from nothing.
struct TextStyles {
  IDWriteFactory* factory = nullptr;
  IDWriteTextFormat* formats[3] = {};
  IDWriteInlineObject* signs[3] = {};
};

struct Resources {
  ID2D1Factory* factory = nullptr;          // kept for the run
  ID2D1HwndRenderTarget* window = nullptr;  // the window's drawing surface
  ID2D1SolidColorBrush* brush = nullptr;    // the window surface's one brush
  TextStyles text;
  int surfacesMade = 0;
  bool loseDevice = false;  // tests: end the next window frame as a lost device
};
Resources gRes;

// ---- The canvas of one frame on a render target, with the brush it fills with.
class D2dCanvas final : public Canvas {
 public:
  D2dCanvas(ID2D1RenderTarget* target, ID2D1SolidColorBrush* brush, int32_t width, int32_t height)
      : target_(target), brush_(brush), width_(width), height_(height) {}

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
  ID2D1RenderTarget* target() const { return singular_ ? nullptr : target_; }

  ID2D1RenderTarget* target_;
  ID2D1SolidColorBrush* brush_;
  int32_t width_;  // surface size in logical units
  int32_t height_;
  // setScale produced a singular transform (factor 0): drawing is skipped until the next
  // setScale, as the Cairo canvas does.
  bool singular_ = false;
};

int32_t truncateSize(float v) {
  if (!(v > 0)) return 0;  // also NaN
  if (v >= static_cast<float>(std::numeric_limits<int32_t>::max())) {
    return std::numeric_limits<int32_t>::max();
  }
  return static_cast<int32_t>(v);
}

D2D1_COLOR_F colourOf(const Rgba& c) {
  return D2D1::ColorF(static_cast<float>(c.red), static_cast<float>(c.green),
                      static_cast<float>(c.blue), static_cast<float>(c.alpha));
}

// Families to try, in order: the panel's face, then faces of the same build that a machine
// without it may have.
constexpr const wchar_t* kFamilies[] = {L"Segoe UI Semibold", L"Segoe UI", L"Open Sans SemiBold",
                                        L"Open Sans Semibold", L"Open Sans"};

const wchar_t* chooseFamily(IDWriteFactory* factory) {
  IDWriteFontCollection* fonts = nullptr;
  if (FAILED(factory->GetSystemFontCollection(&fonts, FALSE)) || !fonts) return kFamilies[0];
  const wchar_t* chosen = kFamilies[0];
  for (const wchar_t* family : kFamilies) {
    UINT32 index = 0;
    BOOL exists = FALSE;
    if (SUCCEEDED(fonts->FindFamilyName(family, &index, &exists)) && exists) {
      chosen = family;
      break;
    }
  }
  fonts->Release();
  return chosen;
}

const wchar_t* gFamily = nullptr;  // chosen once, with the first DirectWrite factory

bool makeTextStyles(TextStyles& t) {
  if (!t.factory && FAILED(DWriteCreateFactory(DWRITE_FACTORY_TYPE_SHARED, __uuidof(IDWriteFactory),
                                               reinterpret_cast<IUnknown**>(&t.factory)))) {
    return false;
  }
  if (!gFamily) gFamily = chooseFamily(t.factory);
  for (int i = 0; i < 3; ++i) {
    if (!t.formats[i]) {
      t.factory->CreateTextFormat(gFamily, nullptr, DWRITE_FONT_WEIGHT_SEMI_BOLD,
                                  DWRITE_FONT_STYLE_NORMAL, DWRITE_FONT_STRETCH_NORMAL,
                                  kStyleSizes[i], L"", &t.formats[i]);
    }
  }
  for (int i = 0; i < 3; ++i) {
    if (t.formats[i] && !t.signs[i])
      t.factory->CreateEllipsisTrimmingSign(t.formats[i], &t.signs[i]);
  }
  return true;
}

void releaseTextStyles(TextStyles& t) {
  for (int i = 0; i < 3; ++i) {
    release(t.formats[i]);
    release(t.signs[i]);
  }
  release(t.factory);
}

// Device loss: the surface, the brush, the text styles with their signs and the DirectWrite
// factory go, in that order; the next paint makes them again.
void releaseWindowResources() {
  release(gRes.window);
  release(gRes.brush);
  releaseTextStyles(gRes.text);
}

HRESULT frame(ID2D1RenderTarget* t, ID2D1SolidColorBrush* brush, const PaintFunction& paint) {
  t->BeginDraw();
  t->SetTransform(D2D1::Matrix3x2F::Identity());
  t->SetAntialiasMode(D2D1_ANTIALIAS_MODE_PER_PRIMITIVE);
  const D2D1_SIZE_F size = t->GetSize();
  D2dCanvas canvas(t, brush, truncateSize(size.width), truncateSize(size.height));
  paint(canvas);
  return t->EndDraw();
}

// The surface on the window: a hardware target with 8-bit R, G, B, A pixels, as the panel is
// meant to be drawn. Where the machine cannot make that, the nearest one it can, rather than a
// window that stays black: B, G, R, A pixels (Wine's swap chains take no other order), then the
// default target, which may be software (a basic display driver, some remote sessions). The
// panel's pixels do not depend on either choice.
ID2D1HwndRenderTarget* makeWindowSurface(HWND window) {
  RECT client{};
  GetClientRect(window, &client);
  const D2D1_SIZE_U size = D2D1::SizeU(static_cast<UINT32>(std::max<LONG>(client.right, 0)),
                                       static_cast<UINT32>(std::max<LONG>(client.bottom, 0)));
  const D2D1_HWND_RENDER_TARGET_PROPERTIES onWindow =
      D2D1::HwndRenderTargetProperties(window, size, D2D1_PRESENT_OPTIONS_RETAIN_CONTENTS);
  for (D2D1_RENDER_TARGET_TYPE type :
       {D2D1_RENDER_TARGET_TYPE_HARDWARE, D2D1_RENDER_TARGET_TYPE_DEFAULT}) {
    for (DXGI_FORMAT pixels : {DXGI_FORMAT_R8G8B8A8_UNORM, DXGI_FORMAT_B8G8R8A8_UNORM}) {
      const D2D1_RENDER_TARGET_PROPERTIES properties = D2D1::RenderTargetProperties(
          type, D2D1::PixelFormat(pixels, D2D1_ALPHA_MODE_PREMULTIPLIED));
      ID2D1HwndRenderTarget* surface = nullptr;
      if (SUCCEEDED(gRes.factory->CreateHwndRenderTarget(properties, onWindow, &surface)) &&
          surface) {
        return surface;
      }
    }
  }
  return nullptr;
}

// ---- Bitmaps: one per operation, from stored bytes.
ID2D1Bitmap* makeBitmap(ID2D1RenderTarget* t, int32_t width, int32_t height, const void* pixels,
                        UINT32 stride) {
  ID2D1Bitmap* bitmap = nullptr;
  const D2D1_BITMAP_PROPERTIES properties = D2D1::BitmapProperties(
      D2D1::PixelFormat(DXGI_FORMAT_R8G8B8A8_UNORM, D2D1_ALPHA_MODE_PREMULTIPLIED), 96.0f, 96.0f);
  if (FAILED(t->CreateBitmap(D2D1::SizeU(static_cast<UINT32>(width), static_cast<UINT32>(height)),
                             pixels, stride, properties, &bitmap))) {
    return nullptr;
  }
  return bitmap;
}

// The part of a stored image that a draw maps: the source rectangle cut to the image, and the
// destination rectangle cut in proportion (the same rule as the Cairo backend). Empty when
// nothing of the source lies inside the image.
struct Part {
  int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // image pixels
  D2D1_RECT_F dest{};
  bool empty() const { return x1 <= x0 || y1 <= y0; }
};

Part partOf(int32_t iw, int32_t ih, double sx, double sy, double sw, double sh, double dx,
            double dy, double dw, double dh) {
  Part p;
  if (sw <= 0 || sh <= 0 || dw == 0 || dh == 0) return p;
  p.x0 = static_cast<int32_t>(std::max(sx, 0.0));
  p.y0 = static_cast<int32_t>(std::max(sy, 0.0));
  p.x1 = static_cast<int32_t>(std::min(sx + sw, static_cast<double>(iw)));
  p.y1 = static_cast<int32_t>(std::min(sy + sh, static_cast<double>(ih)));
  if (p.empty()) return p;
  const double kx = dw / sw, ky = dh / sh;
  p.dest = D2D1::RectF(
      static_cast<float>(dx + (p.x0 - sx) * kx), static_cast<float>(dy + (p.y0 - sy) * ky),
      static_cast<float>(dx + (p.x1 - sx) * kx), static_cast<float>(dy + (p.y1 - sy) * ky));
  return p;
}

// Draws `part` of an image whose rows of `pixelBytes`-byte pixels (R, G, B, A premultiplied)
// start at `pixels`. The bitmap holds the part alone, so linear interpolation never reaches a
// neighbouring pixel outside it, and only that part is uploaded.
void drawPart(ID2D1RenderTarget* t, const uint8_t* pixels, int32_t imageWidth, const Part& part) {
  const size_t stride = static_cast<size_t>(imageWidth) * 4;
  const uint8_t* first =
      pixels + static_cast<size_t>(part.y0) * stride + static_cast<size_t>(part.x0) * 4;
  ID2D1Bitmap* bitmap =
      makeBitmap(t, part.x1 - part.x0, part.y1 - part.y0, first, static_cast<UINT32>(stride));
  if (!bitmap) return;
  t->DrawBitmap(bitmap, part.dest, 1.0f, D2D1_BITMAP_INTERPOLATION_MODE_LINEAR, nullptr);
  bitmap->Release();
}

}  // namespace

// ---- Paint entries

ID2D1Factory* createD2dFactory() {
  if (!gRes.factory) {
    D2D1CreateFactory(D2D1_FACTORY_TYPE_SINGLE_THREADED, &gRes.factory);
  }
  return gRes.factory;
}

ID2D1Factory* d2dFactory() {
  return gRes.factory;
}

void paintWindow(HWND window, const PaintFunction& paint) {
  if (!gRes.window && gRes.factory) {
    gRes.window = makeWindowSurface(window);
    if (gRes.window) ++gRes.surfacesMade;
  }
  if (gRes.window && !gRes.brush) {
    gRes.window->CreateSolidColorBrush(D2D1::ColorF(0, 0, 0, 1), &gRes.brush);
  }
  if (gRes.window) makeTextStyles(gRes.text);
  if (!gRes.window || !gRes.brush) return;
  HRESULT result = frame(gRes.window, gRes.brush, paint);
  if (std::exchange(gRes.loseDevice, false)) result = kRecreateTarget;
  // The lost frame is not drawn again until the next paint request.
  if (result == kRecreateTarget) releaseWindowResources();
}

void resizeWindowSurface(uint32_t pixelWidth, uint32_t pixelHeight) {
  if (gRes.window) gRes.window->Resize(D2D1::SizeU(pixelWidth, pixelHeight));
}

void setWindowSurfaceDpi(float dpi) {
  if (gRes.window) gRes.window->SetDpi(dpi, dpi);
}

float windowSurfaceDpi() {
  if (!gRes.window) return 0;
  float x = 0, y = 0;
  gRes.window->GetDpi(&x, &y);
  return x;
}

void releaseWindowSurface() {
  releaseWindowResources();
}

int windowSurfacesMade() {
  return gRes.surfacesMade;
}

void loseDeviceAtNextFrame() {
  gRes.loseDevice = true;
}

HRESULT paintTarget(ID2D1RenderTarget* t, const PaintFunction& paint) {
  if (!t) return E_POINTER;
  if (!makeTextStyles(gRes.text)) return E_FAIL;
  ID2D1SolidColorBrush* brush = nullptr;
  HRESULT result = t->CreateSolidColorBrush(D2D1::ColorF(0, 0, 0, 1), &brush);
  if (FAILED(result)) return result;
  result = frame(t, brush, paint);
  brush->Release();
  return result;
}

const wchar_t* textFamily() {
  if (!gFamily && makeTextStyles(gRes.text)) return gFamily;
  return gFamily ? gFamily : kFamilies[0];
}

// ---- Shapes and transform

void D2dCanvas::fillRect(int32_t x, int32_t y, int32_t width, int32_t height, int32_t radius,
                         uint32_t colour) {
  ID2D1RenderTarget* t = target();
  const Rgba c = decodeColour(colour);
  if (!t || c.alpha == 0 || width == 0 || height == 0) return;
  brush_->SetColor(colourOf(c));
  const float left = static_cast<float>(std::min<int64_t>(x, int64_t{x} + width));
  const float top = static_cast<float>(std::min<int64_t>(y, int64_t{y} + height));
  const float w = std::abs(static_cast<float>(width)), h = std::abs(static_cast<float>(height));
  const D2D1_RECT_F box = D2D1::RectF(left, top, left + w, top + h);
  if (radius <= 0) {
    t->SetAntialiasMode(D2D1_ANTIALIAS_MODE_ALIASED);
    t->FillRectangle(box, brush_);
    t->SetAntialiasMode(D2D1_ANTIALIAS_MODE_PER_PRIMITIVE);
    return;
  }
  // Corner radii clamp to half the side, each axis on its own, as in the Cairo backend.
  const float rx = std::min(static_cast<float>(radius), w / 2);
  const float ry = std::min(static_cast<float>(radius), h / 2);
  t->FillRoundedRectangle(D2D1::RoundedRect(box, rx, ry), brush_);
}

void D2dCanvas::setScale(float factor) {
  singular_ = false;
  if (factor == 1.0f) {
    target_->SetTransform(D2D1::Matrix3x2F::Identity());
    return;
  }
  if (!std::isfinite(factor) || factor == 0.0f) {
    target_->SetTransform(D2D1::Matrix3x2F::Identity());
    singular_ = true;
    return;
  }
  target_->SetTransform(D2D1::Matrix3x2F::Scale(factor, factor, D2D1::Point2F(0, 0)));
}

// ---- Images and masks
void D2dCanvas::drawImage(int32_t x, int32_t y, int32_t width, int32_t height, ImageData image) {
  ImageView view;
  if (!target() || !readColourImage(image, view)) return;
  drawImagePart(0, 0, view.width, view.height, x, y, width, height, image);
}

void D2dCanvas::drawImagePart(int32_t sx, int32_t sy, int32_t sw, int32_t sh, int32_t dx,
                              int32_t dy, int32_t dw, int32_t dh, ImageData image) {
  ID2D1RenderTarget* t = target();
  ImageView view;
  if (!t || !readColourImage(image, view)) return;
  const Part part = partOf(view.width, view.height, sx, sy, sw, sh, dx, dy, dw, dh);
  if (!part.empty()) drawPart(t, view.pixels, view.width, part);
}

// The colour painted through the mask is a premultiplied bitmap of the colour with each
// coverage byte scaling its alpha, drawn stretched into the box. This gives the pixels an opacity
// mask fill gives, and draws the same on every Direct2D, Wine's included (its FillOpacityMask
// draws nothing).
void D2dCanvas::drawMask(int32_t x, int32_t y, int32_t width, int32_t height, ImageData mask,
                         uint32_t colour) {
  ID2D1RenderTarget* t = target();
  ImageView view;
  const Rgba c = decodeColour(colour);
  if (!t || !readMask(mask, view) || width == 0 || height == 0 || c.alpha == 0) return;
  const size_t count = static_cast<size_t>(view.width) * static_cast<size_t>(view.height);
  std::vector<uint8_t> tinted;
  try {
    tinted.resize(count * 4);
  } catch (const std::bad_alloc&) {
    return;
  }
  const double premultiplied[3] = {c.red * c.alpha, c.green * c.alpha, c.blue * c.alpha};
  for (size_t i = 0; i < count; ++i) {
    const double k = view.pixels[i] / 255.0;
    uint8_t* p = tinted.data() + i * 4;
    for (int ch = 0; ch < 3; ++ch)
      p[ch] = static_cast<uint8_t>(std::lround(premultiplied[ch] * k * 255));
    p[3] = static_cast<uint8_t>(std::lround(c.alpha * k * 255));
  }
  const Part part =
      partOf(view.width, view.height, 0, 0, view.width, view.height, x, y, width, height);
  // The box edges are aliased; inside it the mask is resampled linearly.
  t->SetAntialiasMode(D2D1_ANTIALIAS_MODE_ALIASED);
  drawPart(t, tinted.data(), view.width, part);
  t->SetAntialiasMode(D2D1_ANTIALIAS_MODE_PER_PRIMITIVE);
}

// ---- Text. A style outside 0..2 draws nothing.
void D2dCanvas::drawText(int32_t x, int32_t y, int32_t width, int32_t height, uint32_t colour,
                         int32_t style, int32_t hAlign, int32_t vAlign, const std::wstring& text,
                         bool singleLine) {
  ID2D1RenderTarget* t = target();
  const Rgba c = decodeColour(colour);
  if (!t || style < 0 || style > 2 || c.alpha == 0 || text.empty()) return;
  IDWriteTextFormat* format = gRes.text.formats[style];
  if (!format) return;
  brush_->SetColor(colourOf(c));
  format->SetTextAlignment(hAlign == 0   ? DWRITE_TEXT_ALIGNMENT_LEADING
                           : hAlign == 1 ? DWRITE_TEXT_ALIGNMENT_CENTER
                                         : DWRITE_TEXT_ALIGNMENT_TRAILING);
  format->SetParagraphAlignment(vAlign == 1   ? DWRITE_PARAGRAPH_ALIGNMENT_NEAR
                                : vAlign == 0 ? DWRITE_PARAGRAPH_ALIGNMENT_CENTER
                                              : DWRITE_PARAGRAPH_ALIGNMENT_FAR);
  format->SetWordWrapping(singleLine ? DWRITE_WORD_WRAPPING_NO_WRAP : DWRITE_WORD_WRAPPING_WRAP);
  // Both kinds end an overflowing text with an ellipsis, whatever was drawn before: the cut
  // does not depend on whether a single-line text of the same style came first.
  const DWRITE_TRIMMING trimming{DWRITE_TRIMMING_GRANULARITY_CHARACTER, 0, 0};
  format->SetTrimming(&trimming, gRes.text.signs[style]);

  std::wstring shown = text;
  std::erase(shown, L'\0');
  const D2D1_RECT_F box = D2D1::RectF(static_cast<float>(x), static_cast<float>(y) - 1,
                                      static_cast<float>(x) + std::max(width, 0),
                                      static_cast<float>(y) + std::max(height, 0));
  t->DrawText(shown.data(), static_cast<UINT32>(shown.size()), format, box, brush_,
              D2D1_DRAW_TEXT_OPTIONS_NONE, DWRITE_MEASURING_MODE_NATURAL);
}

}  // namespace orq::render
