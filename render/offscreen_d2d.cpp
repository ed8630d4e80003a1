// Offscreen drawing target over a WIC bitmap and a Direct2D render target on it. After each
// paint the pixels are copied out once, so that reading them costs no locking per pixel.
#include <windows.h>
// (WIC and Direct2D after windows.h)
#include <wincodec.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "render/image_format.h"
#include "render/offscreen.h"
#include "render/render_d2d.h"

namespace orq::render {

struct OffscreenSurface::Target {
  IWICImagingFactory* wic = nullptr;
  IWICBitmap* bitmap = nullptr;
  ID2D1RenderTarget* target = nullptr;
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint32_t> pixels;  // premultiplied BGRA words as WIC holds them, row after row

  void readBack() {
    pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
    if (!bitmap || pixels.empty()) return;
    const WICRect all{0, 0, width, height};
    bitmap->CopyPixels(&all, static_cast<UINT>(width) * 4, static_cast<UINT>(pixels.size() * 4),
                       reinterpret_cast<BYTE*>(pixels.data()));
  }
};

namespace {
template <typename T>
void release(T*& p) {
  if (p) p->Release();
  p = nullptr;
}
}  // namespace

OffscreenSurface::OffscreenSurface(int32_t logicalWidth, int32_t logicalHeight, float dpi)
    : logicalWidth_(logicalWidth),
      logicalHeight_(logicalHeight),
      scale_(dpi / 96.0),
      target_(new Target) {
  target_->width = static_cast<int32_t>(std::ceil(logicalWidth * scale_));
  target_->height = static_cast<int32_t>(std::ceil(logicalHeight * scale_));
  // WIC lives in COM; the calling thread may not have entered it yet. A thread already in the
  // multithreaded apartment keeps it (the call then fails harmlessly).
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  ID2D1Factory* factory = d2dFactory() ? d2dFactory() : createD2dFactory();
  if (target_->width > 0 && target_->height > 0 && factory &&
      SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                 IID_IWICImagingFactory,
                                 reinterpret_cast<void**>(&target_->wic))) &&
      SUCCEEDED(target_->wic->CreateBitmap(
          static_cast<UINT>(target_->width), static_cast<UINT>(target_->height),
          GUID_WICPixelFormat32bppPBGRA, WICBitmapCacheOnLoad, &target_->bitmap))) {
    const D2D1_RENDER_TARGET_PROPERTIES properties = D2D1::RenderTargetProperties(
        D2D1_RENDER_TARGET_TYPE_DEFAULT,
        D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_PREMULTIPLIED),
        static_cast<float>(96.0 * scale_), static_cast<float>(96.0 * scale_));
    factory->CreateWicBitmapRenderTarget(target_->bitmap, properties, &target_->target);
  }
  clear(0);
}

OffscreenSurface::~OffscreenSurface() {
  release(target_->target);
  release(target_->bitmap);
  release(target_->wic);
  delete target_;
}

void OffscreenSurface::paint(const PaintFunction& paint) {
  if (!target_->target) return;
  paintTarget(target_->target, paint);
  target_->readBack();
}

void OffscreenSurface::clear(uint32_t colour) {
  if (target_->target) {
    const Rgba c = decodeColour(colour);
    target_->target->BeginDraw();
    target_->target->Clear(D2D1::ColorF(static_cast<float>(c.red), static_cast<float>(c.green),
                                        static_cast<float>(c.blue), static_cast<float>(c.alpha)));
    target_->target->EndDraw();
  }
  target_->readBack();
}

int32_t OffscreenSurface::pixelWidth() const {
  return target_->width;
}
int32_t OffscreenSurface::pixelHeight() const {
  return target_->height;
}

uint32_t OffscreenSurface::pixel(int32_t x, int32_t y) const {
  if (x < 0 || y < 0 || x >= pixelWidth() || y >= pixelHeight() || target_->pixels.empty()) {
    return 0;
  }
  // Little-endian BGRA bytes read as one word are 0xAARRGGBB, premultiplied.
  return straightArgb(target_->pixels[static_cast<size_t>(y) * target_->width + x]);
}

bool OffscreenSurface::writePng(const std::string& path) const {
  if (!target_->wic || !target_->bitmap) return false;
  const int n = MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, nullptr, 0);
  if (n <= 0) return false;
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, wide.data(), n);
  IWICStream* stream = nullptr;
  IWICBitmapEncoder* encoder = nullptr;
  IWICBitmapFrameEncode* frame = nullptr;
  IWICFormatConverter* straight = nullptr;
  WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGRA;
  const bool ok =
      SUCCEEDED(target_->wic->CreateStream(&stream)) &&
      SUCCEEDED(stream->InitializeFromFilename(wide.c_str(), GENERIC_WRITE)) &&
      SUCCEEDED(target_->wic->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder)) &&
      SUCCEEDED(encoder->Initialize(stream, WICBitmapEncoderNoCache)) &&
      SUCCEEDED(encoder->CreateNewFrame(&frame, nullptr)) &&
      SUCCEEDED(frame->Initialize(nullptr)) &&
      SUCCEEDED(
          frame->SetSize(static_cast<UINT>(target_->width), static_cast<UINT>(target_->height))) &&
      SUCCEEDED(frame->SetPixelFormat(&format)) &&
      SUCCEEDED(target_->wic->CreateFormatConverter(&straight)) &&
      SUCCEEDED(straight->Initialize(target_->bitmap, GUID_WICPixelFormat32bppBGRA,
                                     WICBitmapDitherTypeNone, nullptr, 0,
                                     WICBitmapPaletteTypeCustom)) &&
      SUCCEEDED(frame->WriteSource(straight, nullptr)) && SUCCEEDED(frame->Commit()) &&
      SUCCEEDED(encoder->Commit());
  release(straight);
  release(frame);
  release(encoder);
  release(stream);
  return ok;
}

}  // namespace orq::render
