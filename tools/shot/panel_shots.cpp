// Panel states for orq-shot. Every state starts from a connected device with plausible
// settings and slot names, then changes what the shot is about.
#include "tools/shot/panel_shots.h"

#include "app/platform.h"
#include "app/platform_offscreen.h"
#include "render/offscreen.h"
#include "ui/ui.h"

namespace orq::shot {
namespace {

void connected(Ui& ui, int model) {
  ui.linkState = kConnected;
  ui.modelKind = model;
  ui.deviceFirmwareVersion = 0x0203;
  ui.program = 12;
  ui.midiChannel = 1;
  Shared<int32_t>* b = ui.programBlocks[12];
  b[kActiveChannel] = 0;
  b[kBoost1] = 1;
  b[kIrSelect1] = 1;
  b[kIrSelect2] = 0;
  b[kPresence1] = 3;
  b[kPresence2] = 2;
  b[kDeep1] = 2;
  b[kDeep2] = 1;
  b[kLowpass1] = 2;
  b[kLowpass2] = 3;
  b[kGate1] = 1;
  b[kGate2] = 0;
  b[kReceived] = 1;
  ui.setSlotName(0, L"GREEN 4X12 SM57");
  ui.setSlotName(1, L"C:\\IRS\\BRIGHT 2X12.WAV");
  ui.setSlotName(3, L"OPEN BACK 1X12");
  ui.setSlotName(5, L"V30 CONDENSER ROOM MIX LONG NAME");
}

}  // namespace

std::vector<PanelShot> panelShots() {
  std::vector<PanelShot> shots;
  for (int m = 0; m < 3; ++m) {
    const std::string p = "panel_model" + std::to_string(m);
    shots.push_back({p + "_connected", 1024, 740, [m](Ui& ui) { connected(ui, m); }});
    shots.push_back({p + "_no_device", 1024, 740, [m](Ui& ui) {
                       connected(ui, m);
                       ui.resetDeviceFields();
                       ui.modelKind = m;
                       ui.linkState = kNoDevice;
                     }});
  }
  shots.push_back({"panel_browser_list", 1024, 740, [](Ui& ui) {
                     connected(ui, 1);
                     ui.browserSlot = 2;
                     ui.browserListMode = 1;
                     ui.catalogueIndex = 3;
                     ui.audition = 1;
                   }});
  shots.push_back({"panel_browser_description", 1024, 740, [](Ui& ui) {
                     connected(ui, 0);
                     ui.browserSlot = 4;
                     ui.catalogueIndex = 1;
                   }});
  shots.push_back({"panel_cc_list", 1024, 740, [](Ui& ui) {
                     connected(ui, 2);
                     ui.ccListOpen = 1;
                   }});
  shots.push_back({"panel_upload_update", 1024, 740, [](Ui& ui) {
                     connected(ui, 1);
                     ui.linkState = kBusy;
                     ui.statusCode = 57;
                     ui.deviceFirmwareVersion = 0x0102;
                     ui.imageFirmwareVersion = 0x0103;
                   }});
  shots.push_back({"panel_upload_ir", 1024, 740, [](Ui& ui) {
                     connected(ui, 0);
                     ui.linkState = kBusy;
                     ui.statusCode = 42;
                   }});
  shots.push_back({"panel_reading", 1024, 740, [](Ui& ui) {
                     connected(ui, 2);
                     ui.linkState = kBusy;
                     ui.statusCode = kStatusReading;
                   }});
  shots.push_back({"panel_error", 1024, 740, [](Ui& ui) {
                     connected(ui, 1);
                     ui.linkState = kError;
                   }});
  shots.push_back({"panel_model1_1920x1080", 1920, 1080, [](Ui& ui) {
                     connected(ui, 1);
                     ui.programBlocks[12][kActiveChannel] = 1;
                     ui.programBlocks[12][kBoost2] = 1;
                     ui.programBlocks[12][kIrSelect2] = 2;
                   }});
  return shots;
}

bool writePanelShot(Platform& platform, const PanelShot& shot, const std::string& path) {
  bool ok = false;
  {
    Ui ui(&platform);
    shot.setup(ui);
    render::OffscreenSurface surface(shot.width, shot.height);
    offscreen::paint(surface, platform);
    offscreen::paint(surface, platform);
    ok = surface.writePng(path);
  }
  platform.callback = nullptr;
  return ok;
}

}  // namespace orq::shot
