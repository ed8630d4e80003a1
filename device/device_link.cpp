#include "device/device_link.h"

#include <atomic>

#include "state/editor_state.h"

namespace orq {
namespace {
std::atomic<DeviceLink*> gLink{nullptr};
}

DeviceLink* DeviceLink::current() {
  return gLink.load();
}
void DeviceLink::setCurrent(DeviceLink* link) {
  gLink.store(link);
}

void requestStop(DeviceLink& link) {
  link.stopRequested = 1;
  wakeWorker(link);
}

void wakeWorker(DeviceLink& link) {
  if (link.state) link.state->workerBell.ring();
}

}  // namespace orq
