// The device worker. (Placeholder until the worker lands: idles until asked to stop.)
#include <chrono>
#include <thread>

#include "device/device_link.h"

namespace orq {

void runWorker(DeviceLink* link) {
  link->stopRequested = 0;
  while (!link->stopRequested) std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

}  // namespace orq
