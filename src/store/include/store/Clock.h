#pragma once

#include <time.h>

#include <chrono>
#include <ctime>

namespace mlfk {

// Time since boot, suspended time included: an interval measured across a
// night with the lid shut counts the night. (The steady clock stops while
// the computer sleeps.)
struct BootClock {
  using duration = std::chrono::nanoseconds;
  using rep = duration::rep;
  using period = duration::period;
  using time_point = std::chrono::time_point<BootClock>;
  static constexpr bool is_steady = true;
  static time_point now() noexcept {
    timespec now{};
    ::clock_gettime(CLOCK_BOOTTIME, &now);
    return time_point(std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec));
  }
};

// Time as the record store sees it: a clock that never goes back for
// intervals, so that a changed system clock cannot stop or force a
// rotation, and wall time for the names people read.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual BootClock::time_point elapsedNow() = 0;
  virtual std::time_t wallNow() = 0;
};

class SystemClock final : public Clock {
 public:
  BootClock::time_point elapsedNow() override { return BootClock::now(); }
  std::time_t wallNow() override { return std::time(nullptr); }
};

}  // namespace mlfk
