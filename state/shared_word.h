// A word shared between the user-interface thread and the device worker without a lock.
// Every access is whole and relaxed: the fields carry independent values. The one exception is
// pendingCommand, which publishes the target of an IR command (publish/take below).
#pragma once

#include <atomic>

namespace orq {

template <typename T>
class Shared {
 public:
  constexpr Shared() noexcept : value_{} {}
  constexpr Shared(T v) noexcept : value_{v} {}  // NOLINT: implicit by design
  Shared(const Shared&) = delete;
  Shared& operator=(const Shared&) = delete;

  T get() const noexcept { return value_.load(std::memory_order_relaxed); }
  void set(T v) noexcept { value_.store(v, std::memory_order_relaxed); }
  // Takes the value and leaves v in one step (the worker takes pendingCommand this way, so a
  // code written between its read and its clear is not lost).
  T exchange(T v) noexcept { return value_.exchange(v, std::memory_order_relaxed); }
  // The one ordered hand-off: fields written before publish() are seen by the thread whose
  // take() returns the published value (the panel hands a command's target over this way).
  void publish(T v) noexcept { value_.store(v, std::memory_order_release); }
  T take(T v) noexcept { return value_.exchange(v, std::memory_order_acq_rel); }
  operator T() const noexcept { return get(); }  // NOLINT: implicit by design
  Shared& operator=(T v) noexcept {
    set(v);
    return *this;
  }

 private:
  std::atomic<T> value_;
};

}  // namespace orq
