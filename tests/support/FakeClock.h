#pragma once

#include "store/Clock.h"

namespace mlfk::test {

// A clock that moves only when a test says so.
class FakeClock final : public Clock {
 public:
  BootClock::time_point elapsedNow() override { return elapsed_; }
  std::time_t wallNow() override { return wall_; }
  void advance(std::chrono::duration<double> by) {
    elapsed_ += std::chrono::duration_cast<BootClock::duration>(by);
    wall_ += static_cast<std::time_t>(by.count());
  }
  void setWall(std::time_t wall) { wall_ = wall; }

 private:
  BootClock::time_point elapsed_{std::chrono::hours(1000)};
  std::time_t wall_ = 1773479107;  // 2026-03-14 09:05:07 UTC
};

}  // namespace mlfk::test
