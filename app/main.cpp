// Entry: the Platform, then the Ui over it, then the DeviceLink and its worker; the window is
// shown and the loop runs until the window is closed. At shutdown the worker is told to stop
// and joined before the objects it touches go away.
#include <cstdio>
#include <thread>

#include "app/platform.h"
#include "device/device_link.h"
#include "ui/ui.h"

int main() {
  const std::string identifier = "com.tarvik.editor";
  const std::string title = "Tarvik Editor";
  orq::Platform platform(title, identifier);
  orq::Ui ui(&platform);

  orq::DeviceLink link;
  link.platform = &platform;
  link.ui = &ui;
  orq::DeviceLink::setCurrent(&link);
  link.workerThread = std::thread(orq::runWorker, &link);

  int status = 0;
  if (platform.hasWindow()) {
    platform.show();
    platform.runLoop();
  } else {
    std::fprintf(stderr, "orq-editor: no display to open the window on (is DISPLAY set?)\n");
    status = 1;
  }

  link.stopRequested = 1;
  platform.closeDialogs();  // a worker waiting on a dialog gets its empty answer and ends
  if (link.workerThread.joinable()) link.workerThread.join();
  orq::DeviceLink::setCurrent(nullptr);
  return status;
}
