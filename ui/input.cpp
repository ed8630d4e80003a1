// Pointer input. (Placeholder until the panel lands: input is ignored.)
#include "ui/ui.h"

namespace orq {

void Ui::onPointerMove() {}
void Ui::onLeftDown() {}
void Ui::onWheel() {}

}  // namespace orq
