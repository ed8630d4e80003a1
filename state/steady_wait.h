// Waits until a steady-clock deadline, made so that they never wake before it more than once.
// MinGW-w64's waits (posix threads over Win32) count in whole milliseconds and may return up to
// one millisecond early; a loop that waits until a deadline and then looks at the clock would call
// them again and again for that last millisecond (measured under Wine: about 3,700 calls in a
// 5 ms pause, which kept the connected worker at 18 % of a core). There every wait is for the
// time left rounded up to whole milliseconds; elsewhere it is for the time left, exactly.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace orq {

// Time to wait from now for `deadline`; zero once it has passed.
inline std::chrono::steady_clock::duration timeLeft(
    std::chrono::steady_clock::time_point deadline) {
  const auto now = std::chrono::steady_clock::now();
  if (now >= deadline) return std::chrono::steady_clock::duration::zero();
  const auto left = deadline - now;
#ifdef _WIN32
  // Far deadlines (a saturated one) need no rounding, and could overflow with it.
  if (left < std::chrono::hours(1)) return std::chrono::ceil<std::chrono::milliseconds>(left);
#endif
  return left;
}

// Sleeps until `deadline` has passed.
inline void sleepUntil(std::chrono::steady_clock::time_point deadline) {
  for (auto left = timeLeft(deadline); left.count() > 0; left = timeLeft(deadline))
    std::this_thread::sleep_for(left);
}

// Waits on `cv` until `ready()` or `deadline`; returns ready().
template <typename Ready>
bool waitUntil(std::condition_variable& cv, std::unique_lock<std::mutex>& lock,
               std::chrono::steady_clock::time_point deadline, Ready ready) {
  while (!ready()) {
    const auto left = timeLeft(deadline);
    if (left.count() <= 0) return false;
    cv.wait_for(lock, left);
  }
  return true;
}

}  // namespace orq
