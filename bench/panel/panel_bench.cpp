// Cost of one paint of the whole panel into an offscreen surface: a connected model-1 device,
// with the factory IR browser open (its list shown) and closed, at the start size and at a
// full-HD window.
#include <benchmark/benchmark.h>

#include "app/platform.h"
#include "app/platform_offscreen.h"
#include "render/offscreen.h"
#include "ui/ui.h"

namespace {

void paintPanel(benchmark::State& state, bool browser) {
  orq::Platform platform("Tarvik Editor", "com.tarvik.editor");
  orq::Ui ui(&platform);
  ui.linkState = orq::kConnected;
  ui.modelKind = 1;
  ui.deviceFirmwareVersion = 0x0203;
  auto* block = ui.programBlocks[0];
  block[orq::kBoost1] = 1;
  block[orq::kIrSelect1] = 1;
  block[orq::kIrSelect2] = 2;
  for (int k = orq::kPresence1; k <= orq::kLowpass2; ++k) block[k] = 2;
  block[orq::kReceived] = 1;
  ui.setSlotName(0, L"C:\\IRS\\MY CABINET 4X12.WAV");
  ui.setSlotName(3, L"GREEN 4X12 SM57");
  if (browser) {
    ui.browserSlot = 1;
    ui.browserListMode = 1;
  }
  orq::render::OffscreenSurface surface(static_cast<int32_t>(state.range(0)),
                                        static_cast<int32_t>(state.range(1)));
  orq::offscreen::paint(surface, platform);  // first paint: hit regions appended, images decoded
  for (auto _ : state) {
    orq::offscreen::paint(surface, platform);
    benchmark::ClobberMemory();
  }
}

void BM_PaintBrowserOpen(benchmark::State& state) { paintPanel(state, true); }
void BM_PaintBrowserClosed(benchmark::State& state) { paintPanel(state, false); }

BENCHMARK(BM_PaintBrowserOpen)->Args({1024, 740})->Args({1920, 1080})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PaintBrowserClosed)->Args({1024, 740})->Args({1920, 1080})->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
