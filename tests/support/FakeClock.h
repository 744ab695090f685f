#pragma once

#include "store/Clock.h"

namespace mlfk::test {

// A clock that moves only when a test says so.
class FakeClock final : public Clock {
 public:
  std::chrono::steady_clock::time_point steadyNow() override { return steady_; }
  std::time_t wallNow() override { return wall_; }
  void advance(std::chrono::duration<double> by) {
    steady_ += std::chrono::duration_cast<std::chrono::steady_clock::duration>(by);
    wall_ += static_cast<std::time_t>(by.count());
  }
  void setWall(std::time_t wall) { wall_ = wall; }

 private:
  std::chrono::steady_clock::time_point steady_{std::chrono::hours(1000)};
  std::time_t wall_ = 1773479107;  // 2026-03-14 09:05:07 UTC
};

}  // namespace mlfk::test
