// The panel states orq-shot writes: the whole editor window painted offscreen from a chosen
// editor state (models connected and not, browser, CC list, transfers).
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace orq {
class Platform;
class Ui;
}  // namespace orq

namespace orq::shot {

struct PanelShot {
  std::string name;  // file name without ".png"
  int width = 1024;  // logical window size
  int height = 740;
  std::function<void(Ui&)> setup;  // brings a fresh Ui into the state to show
};

std::vector<PanelShot> panelShots();

// Builds a Ui over `platform`, applies the shot's setup, paints once (so that hover-free hit
// regions exist) and writes the second paint as PNG. The platform's callback is left empty.
bool writePanelShot(Platform& platform, const PanelShot& shot, const std::string& path);

}  // namespace orq::shot
