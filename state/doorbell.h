// Wakes the device worker from its idle wait. Rung from any thread: by the panel when it leaves a
// command, by the MIDI input when a message arrives, by the MIDI service when its ports change or
// it goes, and at shutdown. A ring is kept until the next wait takes it, so none is lost between
// the worker's look at its work and its wait.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "state/steady_wait.h"

namespace orq {

class Doorbell {
 public:
  void ring() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      rung_ = true;
    }
    rang_.notify_one();
  }
  // Until rung (since the last wait) or `deadline`; true when rung. Takes the ring.
  bool waitUntil(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock<std::mutex> lock(mutex_);
    const bool rung = orq::waitUntil(rang_, lock, deadline, [this] { return rung_; });
    rung_ = false;
    return rung;
  }

 private:
  std::mutex mutex_;
  std::condition_variable rang_;
  bool rung_ = false;  // guarded by mutex_
};

}  // namespace orq
