#include "device/device_link.h"

#include <atomic>

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

}  // namespace orq
