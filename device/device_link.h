// The small object through which start-up, the device worker and the MIDI library's error
// callback reach the ports, the editor state, the worker thread and its stop flag.
#pragma once

#include <cstdint>
#include <thread>

#include "ui/shared_word.h"

class RtMidiIn;
class RtMidiOut;

namespace orq {

class Platform;
class Ui;

struct DeviceLink {
  Shared<int32_t> lastReply{0};        // worker; code of the last recognised reply
  Shared<uint8_t> rereadPending{0};    // worker; run the connect sequence on the next pass
  RtMidiIn* midiIn = nullptr;          // owned by the worker
  RtMidiOut* midiOut = nullptr;        // owned by the worker
  Platform* platform = nullptr;        // set by start-up
  Ui* ui = nullptr;                    // set by start-up
  std::thread workerThread;            // start-up only
  Shared<uint8_t> stopRequested{0};    // start-up sets it at shutdown
  Shared<int32_t> failureCount{0};     // worker

  static DeviceLink* current();
  static void setCurrent(DeviceLink* link);
};

// The worker's thread body (link_worker.cpp).
void runWorker(DeviceLink* link);

}  // namespace orq
